#include "HexEdit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

const QColor kInitialText(0xC0, 0x61, 0x0A);
const QColor kInitialBk(0xFB, 0xF4, 0xAA);
const QColor kChangedText(0x4A, 0x73, 0x84);
const QColor kChangedBk(0xDB, 0xF7, 0xDC);

class HexEditTest : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_hexedit";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            s_app = new QApplication(argc, argv);
    }

    static void TearDownTestSuite()
    {
        delete s_app;
        s_app = nullptr;
    }

protected:
    // A shown field holding text with the selection [start, end) (a caret when equal).
    static std::unique_ptr<CHexEdit> Field(const QString& text, int start, int end)
    {
        auto edit = std::make_unique<CHexEdit>();
        edit->setText(text);
        Select(*edit, start, end);
        edit->resize(200, 30);
        edit->show();
        return edit;
    }

    static void Select(CHexEdit& edit, int start, int end)
    {
        if (start == end)
            edit.setCursorPosition(start);
        else
            edit.setSelection(start, end - start);
    }

    // Plain characters are typed; <...> names a key: Del, BS, C-x, C-v, C-a,
    // S-Ins, S-Del, C-BS, C-Del, C-z, C-y.
    static void Press(QWidget& widget, const QString& keys)
    {
        struct Named
        {
            const char* name;
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
        };
        static const Named named[] = {
            {"Del", Qt::Key_Delete, Qt::NoModifier},         {"BS", Qt::Key_Backspace, Qt::NoModifier},
            {"C-x", Qt::Key_X, Qt::ControlModifier},         {"C-v", Qt::Key_V, Qt::ControlModifier},
            {"C-a", Qt::Key_A, Qt::ControlModifier},         {"S-Ins", Qt::Key_Insert, Qt::ShiftModifier},
            {"S-Del", Qt::Key_Delete, Qt::ShiftModifier},    {"C-BS", Qt::Key_Backspace, Qt::ControlModifier},
            {"C-Del", Qt::Key_Delete, Qt::ControlModifier}, {"C-z", Qt::Key_Z, Qt::ControlModifier},
            {"C-y", Qt::Key_Y, Qt::ControlModifier},
        };
        for (qsizetype i = 0; i < keys.size(); ++i) {
            if (keys[i] != u'<') {
                QTest::keyClick(&widget, keys[i].toLatin1());
                continue;
            }
            const qsizetype close = keys.indexOf(u'>', i);
            const QString name = keys.mid(i + 1, close - i - 1);
            i = close;
            bool found = false;
            for (const Named& entry : named) {
                if (name == QLatin1String(entry.name)) {
                    QTest::keyClick(&widget, entry.key, entry.modifiers);
                    found = true;
                }
            }
            ASSERT_TRUE(found) << name.toStdString();
        }
    }

    // Puts text on the clipboard; without text, puts something that is not text.
    static void SetClipboard(std::optional<QString> text)
    {
        auto* mime = new QMimeData;
        if (text)
            mime->setText(*text);
        else
            mime->setHtml(QStringLiteral("<b>not plain text</b>"));
        QGuiApplication::clipboard()->setMimeData(mime);
    }

    static QString ClipboardText() { return QGuiApplication::clipboard()->text(); }

    static inline QApplication* s_app = nullptr;
};

TEST_F(HexEditTest, KeyboardFilter)
{
    struct Case
    {
        const char* text;
        int start;
        int end;
        const char* keys;
        const char* expected;
    };
    const Case cases[] = {
        // Digits are upper-cased, the 'x' after a leading "0" is stored lower-case.
        {"", 0, 0, "0X1f", "0x1F"},
        {"", 0, 0, "abcdef789", "ABCDEF789"},
        {"", 0, 0, "g x-", ""},
        {"0", 1, 1, "xx", "0x"},
        {"5", 1, 1, "x", "5"},
        {"0123", 3, 3, "x", "0123"},
        // Nothing goes in front of or inside the prefix unless the selection reaches past it.
        {"0x12", 0, 0, "5", "0x12"},
        {"0x12", 1, 1, "5", "0x12"},
        {"0x12", 0, 1, "5", "0x12"},
        {"0x12", 0, 4, "5", "5"},
        {"0x12", 1, 3, "x", "0x2"},
        // The prefix's "0" is not removed on its own; the 'x' may be.
        {"0x12", 0, 0, "<Del>", "0x12"},
        {"0x12", 0, 1, "<Del>", "0x12"},
        {"0x12", 1, 1, "<BS>", "0x12"},
        {"0x12", 0, 1, "<BS>", "0x12"},
        {"0x12", 0, 1, "<C-x>", "0x12"},
        {"0x12", 1, 1, "<Del>", "012"},
        {"0x12", 2, 2, "<BS>", "012"},
        {"0x12", 2, 4, "<C-x>", "0x"},
        {"0x12", 0, 2, "<Del>", "12"},
        // Ctrl letters pass as control codes.
        {"0x12", 4, 4, "<C-a>5", "5"},
        // Shift+Delete cuts, Ctrl+Backspace and Ctrl+Delete delete words.
        {"0x12", 0, 1, "<S-Del>", "0x12"},
        {"0x12", 2, 4, "<S-Del>", "0x"},
        {"0x12", 1, 1, "<C-BS>", "0x12"},
        {"0x12", 1, 4, "<C-BS>", "0x12"},   // Qt extends the selection back from its anchor
        {"0x12", 0, 0, "<C-Del>", "0x12"},
        {"0x12", 1, 1, "<C-Del>", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " [" + std::to_string(c.start) + "," + std::to_string(c.end) + ") " + c.keys);
        auto edit = Field(QString::fromLatin1(c.text), c.start, c.end);
        Press(*edit, QString::fromLatin1(c.keys));
        EXPECT_EQ(edit->text().toStdString(), c.expected);
    }
}

TEST_F(HexEditTest, UndoAndRedoNeverLeaveTheCaretPastTheEnd)
{
    SetClipboard(QStringLiteral("05"));
    auto edit = Field(QString(), 0, 0);
    Press(*edit, QStringLiteral("1A<C-Del><S-Ins>1A2<C-z><C-z><C-y>"));
    EXPECT_LE(edit->cursorPosition(), edit->text().size());
    Press(*edit, QStringLiteral("5"));
    for (const QChar c : edit->text())
        EXPECT_TRUE(c.isDigit() || (c >= u'A' && c <= u'F')) << edit->text().toStdString();
}

TEST_F(HexEditTest, PasteKeysCheckTheClipboardText)
{
    struct Case
    {
        std::optional<QString> clipboard;
        const char* text;
        int start;
        int end;
        const char* expected;
    };
    const Case cases[] = {
        {QStringLiteral("0x1A"), "", 0, 0, "0x1A"},
        {QStringLiteral("0x1A"), "0x12", 4, 4, "0x12"},
        {QStringLiteral("0x1A"), "0x12", 0, 4, "0x1A"},
        {QStringLiteral("0x5"), "0x12", 0, 2, "0x512"},
        {QStringLiteral("0x5"), "12", 2, 2, "12"},
        {QStringLiteral("x5"), "0", 1, 1, "0x5"},
        {QStringLiteral("x5"), "5", 1, 1, "5"},
        {QStringLiteral("x"), "0123", 3, 3, "0123"},
        {QStringLiteral("5"), "0x12", 1, 1, "0x12"},
        {QStringLiteral("12G"), "", 0, 0, ""},
        {QStringLiteral("1 2"), "", 0, 0, ""},
        {QStringLiteral("ab"), "", 0, 0, "ab"}, // pasted text is not upper-cased
        {QStringLiteral(""), "0x12", 2, 4, "0x"},
        {std::nullopt, "0x12", 2, 4, "0x12"}, // no text at all: nothing pasted, nothing removed
    };
    for (const char* key : {"<C-v>", "<S-Ins>"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(key) + " of '" + c.clipboard.value_or("(none)").toStdString() + "' into " + c.text
                         + " [" + std::to_string(c.start) + "," + std::to_string(c.end) + ")");
            SetClipboard(c.clipboard);
            auto edit = Field(QString::fromLatin1(c.text), c.start, c.end);
            Press(*edit, QString::fromLatin1(key));
            EXPECT_EQ(edit->text().toStdString(), c.expected);
        }
    }
}

TEST_F(HexEditTest, TextLimitHoldsForTypingAndPasting)
{
    auto edit = Field(QString(), 0, 0);
    edit->setMaxLength(4);
    Press(*edit, QStringLiteral("12345"));
    EXPECT_EQ(edit->text(), QStringLiteral("1234"));

    edit->clear();
    SetClipboard(QStringLiteral("0xABCDEF"));
    Press(*edit, QStringLiteral("<C-v>"));
    EXPECT_EQ(edit->text(), QStringLiteral("0xAB"));
}

TEST_F(HexEditTest, ContextMenuEntries)
{
    CHexEdit edit;
    std::unique_ptr<QMenu> menu(edit.CreateContextMenu());
    const QList<QAction*> actions = menu->actions();
    struct Entry
    {
        const char* caption; // nullptr for a separator
        int command;
    };
    const Entry expected[] = {
        {"&Undo", CHexEdit::EM_UNDO},
        {nullptr, 0},
        {"Cu&t", CHexEdit::WM_CUT},
        {"&Copy", CHexEdit::WM_COPY},
        {"&Paste", CHexEdit::WM_PASTE},
        {"&Delete", CHexEdit::WM_CLEAR},
        {nullptr, 0},
        {"Select &All", CHexEdit::ID_HEXEDIT_SELECTALL},
        {nullptr, 0},
        {"Con&vert", CHexEdit::WM_HEXEDIT_CONVERT},
    };
    ASSERT_EQ(actions.size(), std::size(expected));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        SCOPED_TRACE(i);
        const Entry& entry = expected[i];
        EXPECT_EQ(actions[i]->isSeparator(), entry.caption == nullptr);
        if (entry.caption) {
            EXPECT_EQ(actions[i]->text().toStdString(), entry.caption);
            EXPECT_EQ(actions[i]->data().toInt(), entry.command);
        }
    }
}

TEST_F(HexEditTest, ContextMenuGreying)
{
    struct Case
    {
        const char* text;
        int start;
        int end;
        bool readOnly;
        const char* clipboard;
        // Enabled entries, in menu order: Undo, Cut, Copy, Paste, Delete, Select All, Convert.
        const char* enabled;
    };
    const Case cases[] = {
        {"", 0, 0, false, "12", "0001000"},
        {"0x", 2, 2, false, "12", "0001010"},
        {"0x12", 0, 1, false, "12", "0010011"},
        {"0x12", 0, 4, false, "12", "0111101"},
        {"0x12", 2, 4, false, "12", "0111111"},
        {"0x12", 4, 4, false, "G", "0000011"},
        {"0x12", 2, 4, true, "12", "0010011"},
    };
    const int positions[] = {0, 2, 3, 4, 5, 7, 9};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " [" + std::to_string(c.start) + "," + std::to_string(c.end) + ")"
                     + (c.readOnly ? " read-only" : "") + " clipboard " + c.clipboard);
        SetClipboard(QString::fromLatin1(c.clipboard));
        auto edit = Field(QString::fromLatin1(c.text), c.start, c.end);
        edit->setReadOnly(c.readOnly);
        std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
        std::string enabled;
        for (const int position : positions)
            enabled += menu->actions().at(position)->isEnabled() ? '1' : '0';
        EXPECT_EQ(enabled, c.enabled);
    }

    // Undo becomes available once the user has edited the field.
    auto edit = Field(QStringLiteral("0x12"), 4, 4);
    Press(*edit, QStringLiteral("5"));
    std::unique_ptr<QMenu> menu(edit->CreateContextMenu());
    EXPECT_TRUE(menu->actions().at(0)->isEnabled());
}

TEST_F(HexEditTest, ContextMenuRunsTheChosenCommand)
{
    auto edit = Field(QStringLiteral("0x1F"), 4, 4);
    // Pick "Con&vert" by its mnemonic once the menu is open; close any popup left over.
    QTimer::singleShot(0, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()))
            QTest::keyClick(menu, Qt::Key_V);
    });
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] {
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    fallback.start(5000);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit.get(), &event);
    EXPECT_EQ(edit->text(), QStringLiteral("31"));
}

TEST_F(HexEditTest, Commands)
{
    // Paste inserts the normalised clipboard text.
    auto edit = Field(QString(), 0, 0);
    SetClipboard(QStringLiteral("0Xab"));
    EXPECT_TRUE(edit->OnCommand(CHexEdit::WM_PASTE));
    EXPECT_EQ(edit->text(), QStringLiteral("0xAB"));
    EXPECT_EQ(ClipboardText(), QStringLiteral("0xAB"));

    // Text that may not be pasted is refused even when the menu was built before it came.
    SetClipboard(QStringLiteral("12G"));
    edit = Field(QStringLiteral("0x12"), 4, 4);
    EXPECT_TRUE(edit->OnCommand(CHexEdit::WM_PASTE));
    EXPECT_EQ(edit->text(), QStringLiteral("0x12"));

    edit = Field(QStringLiteral("0x12"), 2, 4);
    EXPECT_TRUE(edit->OnCommand(CHexEdit::WM_CUT));
    EXPECT_EQ(edit->text(), QStringLiteral("0x"));
    EXPECT_EQ(ClipboardText(), QStringLiteral("12"));

    SetClipboard(QStringLiteral("zz"));
    edit = Field(QStringLiteral("0x12"), 2, 4);
    EXPECT_TRUE(edit->OnCommand(CHexEdit::WM_CLEAR));
    EXPECT_EQ(edit->text(), QStringLiteral("0x"));
    EXPECT_EQ(ClipboardText(), QStringLiteral("ZZ"));

    edit = Field(QStringLiteral("0x12"), 0, 4);
    EXPECT_TRUE(edit->OnCommand(0x10000 | CHexEdit::WM_COPY)); // only the low 16 bits count
    EXPECT_EQ(ClipboardText(), QStringLiteral("0x12"));

    edit = Field(QStringLiteral("0x12"), 4, 4);
    Press(*edit, QStringLiteral("5"));
    EXPECT_TRUE(edit->OnCommand(CHexEdit::EM_UNDO));
    EXPECT_EQ(edit->text(), QStringLiteral("0x12"));

    EXPECT_TRUE(edit->OnCommand(CHexEdit::ID_HEXEDIT_SELECTALL));
    EXPECT_EQ(edit->selectedText(), QStringLiteral("0x12"));

    EXPECT_TRUE(edit->OnCommand(CHexEdit::WM_HEXEDIT_CONVERT));
    EXPECT_EQ(edit->text(), QStringLiteral("18"));

    EXPECT_FALSE(edit->OnCommand(0x0B02));
}

TEST_F(HexEditTest, CommandsOfGreyedEntriesDoNothing)
{
    // The leading "0" of a prefix stays, and a read-only field is not edited.
    auto edit = Field(QStringLiteral("0x12"), 0, 1);
    EXPECT_TRUE(edit->OnCommand(CHexEdit::WM_CUT));
    EXPECT_TRUE(edit->OnCommand(CHexEdit::WM_CLEAR));
    EXPECT_EQ(edit->text(), QStringLiteral("0x12"));

    SetClipboard(QStringLiteral("AB"));
    edit = Field(QStringLiteral("0x12"), 2, 4);
    edit->setReadOnly(true);
    for (const int command : {CHexEdit::WM_PASTE, CHexEdit::WM_CUT, CHexEdit::WM_CLEAR})
        EXPECT_TRUE(edit->OnCommand(command));
    EXPECT_EQ(edit->text(), QStringLiteral("0x12"));
}

TEST_F(HexEditTest, NormalizeClipboardTextKeepsOtherFormats)
{
    auto* mime = new QMimeData;
    mime->setText(QStringLiteral("0XabZ-q\u00e9"));
    mime->setHtml(QStringLiteral("<i>keep</i>"));
    QGuiApplication::clipboard()->setMimeData(mime);

    CHexEdit edit;
    edit.NormalizeClipboardText();
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->text(), QStringLiteral("0xABZ-Q\u00e9"));
    EXPECT_EQ(now->html(), QStringLiteral("<i>keep</i>"));
}

TEST_F(HexEditTest, Convert)
{
    struct Case
    {
        const char* text;
        bool changed; // the text came after the field was created
        const char* expected;
    };
    const Case cases[] = {
        {"0x1F", true, "31"},
        {"1F", true, "31"},
        {"31", true, "49"},
        {"0X1F", true, "31"},
        {"01.02.03.04", true, "1"},
        {"zz", true, "0"},
        {"0x", true, "0"},
        {"FFFFFFFF", true, "4294967295"},
        {"123456789", true, "123456789"}, // more than 32 bits: left as it is
        {"31", false, "0x1F"},
        {"-1", false, "0xFFFFFFFF"},
        {"4294967295", false, "0xFFFFFFFF"},
        {"abc", false, "0x0"},
        {"4294967296", false, "4294967296"},
        {"-2147483649", false, "-2147483649"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + (c.changed ? " changed" : " initial"));
        std::unique_ptr<CHexEdit> edit;
        if (c.changed) {
            edit = std::make_unique<CHexEdit>();
            edit->setText(QString::fromLatin1(c.text));
        } else {
            edit = std::make_unique<CHexEdit>(QString::fromLatin1(c.text));
        }
        ASSERT_EQ(edit->IsChanged(), c.changed);
        edit->Convert();
        EXPECT_EQ(edit->text().toStdString(), c.expected);
    }
}

TEST_F(HexEditTest, SetValueFormats)
{
    struct Case
    {
        uint32_t value;
        bool hexadecimal;
        uint8_t widthCode;
        const char* expected;
    };
    const Case cases[] = {
        {0x32ED, true, 1, "32ED"},     {0x90, true, 0, "90"},     {0x123, true, 0, "123"},
        {0xF6000000, true, 2, "F6000000"}, {5, false, 0, "5"},    {0x90, true, 1, "0090"},
        {0x90, true, 7, "00000090"},   {0xab, true, 0, "AB"},     {0xF6000000, false, 2, "4127195136"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CHexEdit edit;
        edit.SetValue(c.value, c.hexadecimal, c.widthCode);
        EXPECT_EQ(edit.text().toStdString(), c.expected);
    }
}

TEST_F(HexEditTest, ColourStates)
{
    const auto colours = [](const CHexEdit& edit) {
        const QPalette& palette = edit.palette();
        return std::make_pair(palette.color(QPalette::Active, QPalette::Text), palette.color(QPalette::Active, QPalette::Base));
    };
    const auto initial = std::make_pair(kInitialText, kInitialBk);
    const auto changed = std::make_pair(kChangedText, kChangedBk);

    CHexEdit set;
    EXPECT_EQ(colours(set), initial);
    set.SetValue(0x32ED, true, 1);
    EXPECT_EQ(colours(set), changed);
    set.clear();
    EXPECT_EQ(colours(set), changed); // emptying does not go back

    auto typed = std::make_unique<CHexEdit>(QStringLiteral("12"));
    EXPECT_EQ(colours(*typed), initial);
    typed->show();
    Press(*typed, QStringLiteral("3"));
    EXPECT_EQ(colours(*typed), changed);

    CHexEdit same(QStringLiteral("32ED"));
    same.SetValue(0x32ED, true, 1); // the same text set again still counts
    EXPECT_TRUE(same.IsChanged());
    EXPECT_EQ(colours(same), changed);
}

TEST_F(HexEditTest, DropsAreCheckedAtTheDropPosition)
{
    struct Case
    {
        const char* text;
        bool atEnd;
        const char* dropped;
        const char* expected;
    };
    const Case cases[] = {
        {"0x12", true, "5", "0x125"},
        {"0x12", false, "5", "0x12"},
        {"0x12", true, "G", "0x12"},
        {"", false, "0x1a", "0x1a"},
        {"0", true, "x5", "0x5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dropped) + " onto " + c.text + (c.atEnd ? " at the end" : " at the start"));
        auto edit = Field(QString::fromLatin1(c.text), 0, 0);
        const QPoint at(c.atEnd ? edit->width() - 2 : 0, edit->height() / 2);
        QMimeData mime;
        mime.setText(QString::fromLatin1(c.dropped));
        const bool allowed = c.expected != std::string(c.text);

        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit.get(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit.get(), &move);
        EXPECT_EQ(move.isAccepted(), allowed);

        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit.get(), &drop);
        EXPECT_EQ(edit->text().toStdString(), c.expected);
    }
}

TEST_F(HexEditTest, InputMethodTextGoesThroughTheFilter)
{
    struct Case
    {
        const char* text;
        int start;
        int end;
        const char* preedit;
        const char* commit;
        int replaceFrom; // relative to the caret; 0 with replaceLength 0 for none
        int replaceLength;
        const char* expected;
    };
    const Case cases[] = {
        {"", 0, 0, "", "0X1f", 0, 0, "0x1F"},
        {"0x12", 4, 4, "", "g", 0, 0, "0x12"},
        {"0x12", 0, 1, "", "5", 0, 0, "0x12"},
        {"0x12", 0, 1, "5", "", 0, 0, "0x12"}, // starting a composition keeps the selected "0"
        {"0x12", 4, 4, "", "5", -1, 1, "0x12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " commit " + c.commit + " preedit " + c.preedit);
        auto edit = Field(QString::fromLatin1(c.text), c.start, c.end);
        QInputMethodEvent event(QString::fromLatin1(c.preedit), {});
        event.setCommitString(QString::fromLatin1(c.commit), c.replaceFrom, c.replaceLength);
        QApplication::sendEvent(edit.get(), &event);
        EXPECT_EQ(edit->text().toStdString(), c.expected);
    }
}

TEST_F(HexEditTest, MiddleButtonPasteOfTheSelection)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection())
        GTEST_SKIP() << "the platform has no selection clipboard";

    struct Case
    {
        const char* text;
        bool atEnd;
        const char* selection;
        const char* expected;
    };
    const Case cases[] = {
        {"0x12", true, "5", "0x125"},
        {"0x12", false, "5", "0x12"},
        {"0x12", true, "G", "0x12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.selection) + " onto " + c.text + (c.atEnd ? " at the end" : " at the start"));
        auto edit = Field(QString::fromLatin1(c.text), 0, 0);
        clipboard->setText(QString::fromLatin1(c.selection), QClipboard::Selection);
        QTest::mouseClick(edit.get(), Qt::MiddleButton, Qt::NoModifier,
                          QPoint(c.atEnd ? edit->width() - 2 : 0, edit->height() / 2));
        EXPECT_EQ(edit->text().toStdString(), c.expected);
    }
}

} // namespace
