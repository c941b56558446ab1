#pragma once

#include <QColor>
#include <QLineEdit>
#include <QString>

#include <cstdint>

class QMenu;

// Single-line entry field for hexadecimal numbers. It accepts hexadecimal
// digits (typed ones are upper-cased) and an optional "0x" prefix at the start
// whose "0" cannot be removed on its own, checks text before it may be pasted
// or dropped, offers its own context menu with a Convert command, and shows one
// colour pair until its text first changes and another one afterwards.
//
// Text set by the program (setText, SetValue) is not filtered; the character
// limit is the owner's business (setMaxLength).
class CHexEdit : public QLineEdit
{
    Q_OBJECT

public:
    // Command ids of the context menu entries (stored in each QAction's data).
    static constexpr int EM_UNDO = 0x00C7;
    static constexpr int WM_CUT = 0x0300;
    static constexpr int WM_COPY = 0x0301;
    static constexpr int WM_PASTE = 0x0302;
    static constexpr int WM_CLEAR = 0x0303;
    static constexpr int ID_HEXEDIT_SELECTALL = 0x0B00;
    static constexpr int WM_HEXEDIT_CONVERT = 0x0B01;

    explicit CHexEdit(QWidget* parent = nullptr);
    // The initial text does not count as a change: the field keeps its initial
    // colours until the text changes afterwards.
    explicit CHexEdit(const QString& text, QWidget* parent = nullptr);
    ~CHexEdit() override;

    // Shows value as "%u" (hexadecimal false) or, in upper-case hexadecimal
    // without prefix, with at least 2 (widthCode 0), 4 (1) or 8 (other) digits.
    void SetValue(uint32_t value, bool hexadecimal, uint8_t widthCode);

    // Whether text may replace the current selection.
    bool IsPasteAllowed(const QString& text) const;

    // Rewrites the clipboard's plain text with every 'x'/'X' as 'x' and every
    // other ASCII letter upper-cased. Other clipboard formats are kept.
    void NormalizeClipboardText();

    // Rewrites the number in the field: hexadecimal to decimal once the text
    // has changed, decimal to "0x" hexadecimal before. A number that does not
    // fit in 32 bits leaves the field as it is.
    void Convert();

    // Builds the context menu with its entries greyed for the current state.
    // The caller owns the menu (its parent is this control).
    QMenu* CreateContextMenu();

    // Runs a context menu command (by the low 16 bits of id). Returns false for
    // ids that are not the control's. A command whose menu entry would be
    // greyed does nothing.
    bool OnCommand(int id);

    bool IsChanged() const { return m_bChanged; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The keyboard rules proper; keyPressEvent checks what they let through.
    void FilterKeyPress(QKeyEvent* event);
    struct Selection
    {
        int start;
        int end; // one past the last selected character; equals start for a bare caret
    };

    Selection CurrentSelection() const;
    bool IsPasteAllowedAt(const QString& pasted, Selection selection) const;
    bool FilterCharacter(QChar& ch) const;
    bool IsLeadingZeroSelected() const;
    bool IsCommandEnabled(int command) const;
    bool IsDropAllowed(const QDropEvent* event);
    void TypeCharacters(const QString& characters, Qt::KeyboardModifiers modifiers);
    void MarkChanged();
    void ApplyColours();

    QColor m_crChangedText{74, 115, 132};
    QColor m_crChangedBk{219, 247, 220};
    QColor m_crInitialText{192, 97, 10};
    QColor m_crInitialBk{251, 244, 170};
    bool m_bChanged = false;
};
