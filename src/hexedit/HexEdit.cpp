#include "HexEdit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QStringView>

namespace {

constexpr char16_t kBackspace = 0x08;

char16_t CharAt(QStringView text, qsizetype index)
{
    return index < text.size() ? text[index].unicode() : char16_t(0);
}

// The text carries a "0x" prefix when its second character is an 'x'.
bool HasPrefix(QStringView text)
{
    const char16_t c1 = CharAt(text, 1);
    return c1 == u'x' || c1 == u'X';
}

bool IsX(char16_t ch)
{
    return ch == u'x' || ch == u'X';
}

bool IsHexDigit(char16_t ch)
{
    return (ch >= u'0' && ch <= u'9') || (ch >= u'A' && ch <= u'F') || (ch >= u'a' && ch <= u'f');
}

int DigitValue(char16_t ch, int base)
{
    int value = -1;
    if (ch >= u'0' && ch <= u'9')
        value = ch - u'0';
    else if (ch >= u'A' && ch <= u'F')
        value = ch - u'A' + 10;
    else if (ch >= u'a' && ch <= u'f')
        value = ch - u'a' + 10;
    return value < base ? value : -1;
}

bool IsBlank(char16_t ch)
{
    return ch == u' ' || (ch >= u'\t' && ch <= u'\r');
}

// Reads a number the way scanf's "%x" (base 16) or "%d" (base 10) does:
// leading blanks, an optional sign, for base 16 an optional "0x"/"0X", then
// digits up to the first character that is not one. Text without digits reads
// as 0; a negative number gives its 32-bit two's complement. Returns false when
// the number does not fit in 32 bits.
bool ReadNumber(QStringView text, int base, uint32_t& value)
{
    qsizetype i = 0;
    while (IsBlank(CharAt(text, i)))
        ++i;
    bool negative = false;
    if (CharAt(text, i) == u'+' || CharAt(text, i) == u'-') {
        negative = CharAt(text, i) == u'-';
        ++i;
    }
    if (base == 16 && CharAt(text, i) == u'0' && IsX(CharAt(text, i + 1))
        && DigitValue(CharAt(text, i + 2), 16) >= 0)
        i += 2;

    // A negative decimal must fit a signed 32-bit number; everything else an unsigned one.
    const uint64_t limit = (negative && base == 10) ? 0x80000000u : 0xFFFFFFFFu;
    uint64_t magnitude = 0;
    for (int digit = DigitValue(CharAt(text, i), base); digit >= 0; digit = DigitValue(CharAt(text, ++i), base)) {
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (magnitude > limit)
            return false;
    }
    const auto low = static_cast<uint32_t>(magnitude);
    value = negative ? 0u - low : low;
    return true;
}

// The plain text on the clipboard; false when it holds none.
bool ReadClipboardText(QClipboard::Mode mode, QString& text)
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* mime = clipboard ? clipboard->mimeData(mode) : nullptr;
    if (!mime || !mime->hasText())
        return false;
    text = mime->text();
    return true;
}

} // namespace

CHexEdit::CHexEdit(QWidget* parent)
    : CHexEdit(QString(), parent)
{
}

CHexEdit::CHexEdit(const QString& text, QWidget* parent)
    : QLineEdit(text, parent)
{
    ApplyColours();
    connect(this, &QLineEdit::textChanged, this, &CHexEdit::MarkChanged);
}

CHexEdit::~CHexEdit() = default;

void CHexEdit::SetValue(uint32_t value, bool hexadecimal, uint8_t widthCode)
{
    QString formatted;
    if (!hexadecimal) {
        formatted = QString::number(value);
    } else {
        const int width = widthCode == 0 ? 2 : widthCode == 1 ? 4 : 8;
        formatted = QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
    }
    setText(formatted);
    // Setting the text counts as a change even when it equals the old one.
    MarkChanged();
}

CHexEdit::Selection CHexEdit::CurrentSelection() const
{
    if (hasSelectedText())
        return {selectionStart(), selectionEnd()};
    const int caret = cursorPosition();
    return {caret, caret};
}

bool CHexEdit::IsPasteAllowed(const QString& text) const
{
    return IsPasteAllowedAt(text, CurrentSelection());
}

bool CHexEdit::IsPasteAllowedAt(const QString& pasted, Selection selection) const
{
    const QString current = text();
    const bool prefix = HasPrefix(current);
    const char16_t c0 = CharAt(current, 0);
    const qsizetype n = pasted.size();

    // Nothing may land in front of or inside the prefix unless the selection reaches past it.
    if (prefix && selection.end <= 1)
        return false;

    qsizetype skip = 0;
    if (n >= 2 && pasted[0] == u'0' && IsX(pasted[1].unicode())) {
        // A pasted prefix may only replace the existing one as a whole, or go to the start.
        if (prefix) {
            if (!(selection.start == 0 && selection.end >= 2))
                return false;
        } else if (selection.start > 0) {
            return false;
        }
        skip = 2;
    }

    if (n >= 1) {
        const bool leadingX = IsX(pasted[0].unicode());
        if (c0 == u'0' && leadingX)
            ++skip;
        // A pasted 'x' must land right after a leading "0".
        if (leadingX && !(c0 == u'0' && selection.start == 1 && selection.end >= 1))
            return false;
    }

    for (qsizetype i = skip; i < n; ++i) {
        if (!IsHexDigit(pasted[i].unicode()))
            return false;
    }
    return true;
}

bool CHexEdit::IsLeadingZeroSelected() const
{
    const Selection selection = CurrentSelection();
    return HasPrefix(text()) && selection.start == 0 && selection.end == 1;
}

bool CHexEdit::FilterCharacter(QChar& ch) const
{
    const QString current = text();
    const Selection selection = CurrentSelection();
    const bool prefix = HasPrefix(current);
    const char16_t c0 = CharAt(current, 0);
    const char16_t c = ch.unicode();

    if (c < 0x20) {
        // Backspace must not take the "0" away from its 'x'.
        return !(c == kBackspace && prefix && c0 == u'0' && selection.end == 1);
    }
    if (prefix && selection.start <= 1 && selection.end <= 1)
        return false;
    if (selection.start == 1 && IsX(c) && c0 == u'0') {
        ch = QChar(u'x');
        return true;
    }
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))
        return true;
    if (c >= u'a' && c <= u'f') {
        ch = QChar(static_cast<char16_t>(c - 0x20));
        return true;
    }
    return false;
}

namespace {

// Hexadecimal digits with an optional "0x" in front: what typing and pasting
// through the filter can produce.
bool IsWellFormed(const QString& text)
{
    const qsizetype start = HasPrefix(text) && text.front() == u'0' ? 2 : 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return true;
}

} // namespace

void CHexEdit::keyPressEvent(QKeyEvent* event)
{
    // Whatever the rules let through, a key never leaves the field holding what
    // they refuse: Qt's word deletion extends a selection from its anchor (so
    // Ctrl+Backspace can cut the "0" off its 'x'), and its undo/redo can leave
    // the caret past the end, where the next character lands after a blank.
    const QString before = text();
    const int anchor = selectionStart();
    const int selectionLength = static_cast<int>(selectedText().size());
    const int cursor = cursorPosition();
    FilterKeyPress(event);
    if (cursorPosition() > text().size())
        setCursorPosition(static_cast<int>(text().size()));
    if (text() != before && IsWellFormed(before) && !IsWellFormed(text())) {
        setText(before);
        if (selectionLength > 0)
            setSelection(anchor, selectionLength);
        else
            setCursorPosition(cursor);
    }
}

void CHexEdit::FilterKeyPress(QKeyEvent* event)
{
    // Undo and redo (Alt+Backspace among their keys) only restore earlier contents.
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        QLineEdit::keyPressEvent(event);
        return;
    }

    // Ctrl+X and Shift+Delete.
    if (event->matches(QKeySequence::Cut) && IsLeadingZeroSelected()) {
        event->accept();
        return;
    }

    // Ctrl+V and Shift+Insert.
    if (event->matches(QKeySequence::Paste)) {
        QString pasted;
        if (!ReadClipboardText(QClipboard::Clipboard, pasted) || !IsPasteAllowed(pasted)) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
        return;
    }

    if (event->key() == Qt::Key_Delete) {
        const Selection selection = CurrentSelection();
        if (HasPrefix(text()) && selection.start == 0 && selection.end <= 1) {
            event->accept();
            return;
        }
        // Delete types no character (even though X11 gives it the text "\x7f").
        QLineEdit::keyPressEvent(event);
        return;
    }

    QString characters = event->text();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (event->key() == Qt::Key_Backspace) {
        characters = QString(QChar(kBackspace));
    } else if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)) {
        // With Ctrl held a letter key types its control code (Ctrl+H is a
        // Backspace) and any other key types nothing, whatever text the
        // platform attached to the event.
        const char16_t c = characters.size() == 1 ? characters.front().unicode() : char16_t(0);
        const auto lower = static_cast<char16_t>(c | 0x20);
        if (c != 0 && c < 0x20)
            characters = QString(QChar(c));
        else if (lower >= u'a' && lower <= u'z')
            characters = QString(QChar(static_cast<char16_t>(lower & 0x1F)));
        else
            characters.clear();
    }
    if (characters.isEmpty()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (characters.size() > 1) {
        TypeCharacters(characters, modifiers);
        event->accept();
        return;
    }

    QChar ch = characters.front();
    if (!FilterCharacter(ch)) {
        event->accept();
        return;
    }
    if (ch == characters.front()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QKeyEvent replaced(event->type(), event->key(), event->modifiers(), QString(ch), event->isAutoRepeat(),
                       static_cast<quint16>(event->count()));
    QLineEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

// Runs each character through the keyboard filter as if it had been typed.
void CHexEdit::TypeCharacters(const QString& characters, Qt::KeyboardModifiers modifiers)
{
    for (const QChar ch : characters) {
        QKeyEvent typed(QEvent::KeyPress, 0, modifiers, QString(ch));
        keyPressEvent(&typed);
    }
}

void CHexEdit::inputMethodEvent(QInputMethodEvent* event)
{
    if (isReadOnly()) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // A composition replaces the selection; it must not take the prefix's "0" alone.
    if (IsLeadingZeroSelected())
        deselect();
    if (event->commitString().isEmpty() && event->replacementLength() == 0) {
        QLineEdit::inputMethodEvent(event);
        return;
    }
    // Show the composition as the input method has it, but let into the text
    // only what the keyboard filter accepts. A commit that replaces text around
    // the caret is refused.
    QInputMethodEvent composing(event->preeditString(), event->attributes());
    QLineEdit::inputMethodEvent(&composing);
    if (event->replacementLength() == 0)
        TypeCharacters(event->commitString(), Qt::NoModifier);
    event->accept();
}

void CHexEdit::mouseReleaseEvent(QMouseEvent* event)
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (event->button() == Qt::MiddleButton && !isReadOnly() && clipboard && clipboard->supportsSelection()) {
        // Middle-button paste of the X11 selection at the caret, checked like any paste.
        deselect();
        QString pasted;
        if (ReadClipboardText(QClipboard::Selection, pasted) && IsPasteAllowed(pasted))
            insert(pasted);
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

bool CHexEdit::IsDropAllowed(const QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    const QString dropped = mime ? mime->text() : QString();
    if (dropped.isNull())
        return true; // not text: the edit ignores it anyway
    if (event->source() == this)
        return false; // moving text inside the field could split the prefix
    const int position = cursorPositionAt(event->position().toPoint());
    return IsPasteAllowedAt(dropped, {position, position});
}

void CHexEdit::dragMoveEvent(QDragMoveEvent* event)
{
    QLineEdit::dragMoveEvent(event);
    if (event->isAccepted() && !isReadOnly() && !IsDropAllowed(event))
        event->ignore();
}

void CHexEdit::dropEvent(QDropEvent* event)
{
    if (!isReadOnly() && !IsDropAllowed(event)) {
        event->ignore();
        // Hide the drop caret the drag showed.
        QDragLeaveEvent leave;
        QLineEdit::dragLeaveEvent(&leave);
        return;
    }
    QLineEdit::dropEvent(event);
}

bool CHexEdit::IsCommandEnabled(int command) const
{
    const QString current = text();
    const Selection selection = CurrentSelection();
    const bool empty = selection.start == selection.end;
    switch (command) {
    case EM_UNDO:
        return isUndoAvailable() && !isReadOnly();
    case WM_CUT:
    case WM_CLEAR:
        return !empty && !isReadOnly() && !IsLeadingZeroSelected();
    case WM_COPY:
        return !empty;
    case WM_PASTE: {
        if (isReadOnly())
            return false;
        QString pasted;
        return ReadClipboardText(QClipboard::Clipboard, pasted) && IsPasteAllowed(pasted);
    }
    case ID_HEXEDIT_SELECTALL:
        return !current.isEmpty() && !(selection.start == 0 && selection.end == current.size());
    case WM_HEXEDIT_CONVERT:
        return !current.isEmpty() && current != QLatin1String("0x");
    default:
        return false;
    }
}

QMenu* CHexEdit::CreateContextMenu()
{
    auto* menu = new QMenu(this);
    const auto addCommand = [this, menu](const QString& caption, int command) {
        QAction* action = menu->addAction(caption);
        action->setData(command);
        action->setEnabled(IsCommandEnabled(command));
    };
    addCommand(tr("&Undo"), EM_UNDO);
    menu->addSeparator();
    addCommand(tr("Cu&t"), WM_CUT);
    addCommand(tr("&Copy"), WM_COPY);
    addCommand(tr("&Paste"), WM_PASTE);
    addCommand(tr("&Delete"), WM_CLEAR);
    menu->addSeparator();
    addCommand(tr("Select &All"), ID_HEXEDIT_SELECTALL);
    menu->addSeparator();
    addCommand(tr("Con&vert"), WM_HEXEDIT_CONVERT);
    return menu;
}

void CHexEdit::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    setFocus(Qt::PopupFocusReason);
    QPointer<CHexEdit> alive(this);
    QPointer<QMenu> menu = CreateContextMenu();
    const QAction* chosen = menu->exec(event->globalPos());
    if (!alive)
        return; // the field (and the menu with it) went away while the menu was open
    const bool hasCommand = chosen != nullptr;
    const int command = hasCommand ? chosen->data().toInt() : 0;
    delete menu.data();
    if (hasCommand)
        OnCommand(command);
}

bool CHexEdit::OnCommand(int id)
{
    const int command = id & 0xFFFF;
    switch (command) {
    case EM_UNDO:
    case WM_CUT:
    case WM_COPY:
    case WM_PASTE:
    case WM_CLEAR:
        NormalizeClipboardText();
        break;
    case ID_HEXEDIT_SELECTALL:
    case WM_HEXEDIT_CONVERT:
        break;
    default:
        return false;
    }

    // The clipboard or the field may have changed since the menu was built.
    if (!IsCommandEnabled(command))
        return true;

    switch (command) {
    case EM_UNDO:
        undo();
        break;
    case WM_CUT:
        cut();
        break;
    case WM_COPY:
        copy();
        break;
    case WM_PASTE:
        paste();
        break;
    case WM_CLEAR:
        del();
        break;
    case ID_HEXEDIT_SELECTALL:
        selectAll();
        break;
    case WM_HEXEDIT_CONVERT:
        Convert();
        break;
    default:
        break;
    }
    return true;
}

void CHexEdit::NormalizeClipboardText()
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* mime = clipboard ? clipboard->mimeData() : nullptr;
    if (!mime || !mime->hasText())
        return;

    const QString original = mime->text();
    QString normalized = original;
    for (QChar& ch : normalized) {
        const char16_t c = ch.unicode();
        if (IsX(c))
            ch = QChar(u'x');
        else if (c >= u'a' && c <= u'z')
            ch = QChar(static_cast<char16_t>(c - 0x20));
    }
    if (normalized == original)
        return;

    // Replace the plain text only; whatever else the clipboard holds stays.
    auto* replacement = new QMimeData;
    const QStringList formats = mime->formats();
    for (const QString& format : formats) {
        if (!format.startsWith(QLatin1String("text/plain")))
            replacement->setData(format, mime->data(format));
    }
    replacement->setText(normalized);
    clipboard->setMimeData(replacement);
}

void CHexEdit::Convert()
{
    const QString current = text();
    uint32_t value = 0;
    QString converted;
    if (m_bChanged) {
        QStringView digits(current);
        if (current.startsWith(QLatin1String("0x")))
            digits = digits.mid(2);
        if (!ReadNumber(digits, 16, value))
            return;
        converted = QString::number(value);
    } else {
        if (!ReadNumber(current, 10, value))
            return;
        converted = QStringLiteral("0x") + QString::number(value, 16).toUpper();
    }
    setText(converted);
    MarkChanged();
}

void CHexEdit::MarkChanged()
{
    if (m_bChanged)
        return;
    m_bChanged = true;
    ApplyColours();
}

void CHexEdit::ApplyColours()
{
    QPalette colours = palette();
    const QColor& textColour = m_bChanged ? m_crChangedText : m_crInitialText;
    const QColor& background = m_bChanged ? m_crChangedBk : m_crInitialBk;
    // A disabled field keeps the style's grey text.
    colours.setColor(QPalette::Active, QPalette::Text, textColour);
    colours.setColor(QPalette::Inactive, QPalette::Text, textColour);
    colours.setColor(QPalette::Base, background);
    setPalette(colours);
}
