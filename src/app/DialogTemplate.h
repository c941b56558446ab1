// The two dialog templates of the tool (the main dialog and the About box) as
// tables: every control with its id, kind, text, position and size in dialog
// units and its style. The controls are created from these tables and placed
// by converting dialog units with the dialog font's base units, so the layout
// keeps its proportions at any font size.
#pragma once

#include <QRect>
#include <QSize>
#include <QSizeF>

#include <cstddef>
#include <functional>
#include <vector>

class QButtonGroup;
class QFont;
class QLineEdit;
class QString;
class QWidget;

constexpr int IDC_STATIC = -1;   // a control without an id of its own

enum class DialogItemKind
{
    DefPushButton,
    PushButton,
    Static,
    GroupBox,
    Edit,
    AutoRadioButton,
    AutoCheckBox,
    ProgressBar,
    DropDownCombo,   // editable drop-down combo box
    Icon,
};

// Style bits of an item.
constexpr unsigned kItemTabStop = 0x0001;
constexpr unsigned kItemGroup = 0x0002;       // starts a group (radio buttons)
constexpr unsigned kItemReadOnly = 0x0004;
constexpr unsigned kItemAlignCenter = 0x0008;
constexpr unsigned kItemAlignRight = 0x0010;
constexpr unsigned kItemHidden = 0x0020;
constexpr unsigned kItemDisabled = 0x0040;
constexpr unsigned kItemTransparent = 0x0080;
constexpr unsigned kItemBorder = 0x0100;
constexpr unsigned kItemSorted = 0x0200;

struct DialogItem
{
    int Id;
    DialogItemKind Kind;
    const char* Text;   // caption or label text, exactly as shown (blanks included)
    int X, Y, Width, Height;   // dialog units
    unsigned Style;
};

struct DialogTemplate
{
    int Id;
    const char* Caption;
    int Width, Height;   // client area, dialog units
    const DialogItem* Items;
    size_t Count;
};

constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_RED_ODE_VELMOR_DIALOG = 102;

extern const DialogTemplate g_mainDialogTemplate;    // 102, "Pellaro Update tool"
extern const DialogTemplate g_aboutDialogTemplate;   // 100, "About RIZ Adad"

// The horizontal and vertical base units of a font: the average width of the
// letters A-Z and a-z, and the line height, in pixels.
QSize DialogBaseUnits(const QFont& font);
// Converts a rectangle in dialog units to pixels (x * baseX / 4, y * baseY / 8,
// rounded to the nearest pixel).
QRect MapDialogRect(const QRect& dialogUnits, QSizeF baseUnits);

// The object name a control of a template gets: "ctl<id>" for a control with
// an id, "item<index>" (its position in the template) for one without.
QString DialogItemObjectName(const DialogTemplate& dialogTemplate, size_t index);

// The controls created from a template: one widget per item, in template
// order (null for an item that was not created), and one exclusive button
// group per run of radio buttons (a run ends at an item that starts a group,
// at a static text and at a group box).
struct DialogControls
{
    std::vector<QWidget*> Widgets;
    std::vector<QButtonGroup*> RadioGroups;
};

// Creates the controls of a template as children of `dialog`, in template
// order, which is also their focus chain: each gets its text, alignment,
// enabled and shown state, its object name and its focus policy (tab stops
// take the focus from the keyboard, other controls only by a click).
// `createEdit` makes the edit controls (null: plain line edits).
DialogControls CreateDialogControls(QWidget* dialog, const DialogTemplate& dialogTemplate,
                                    const std::function<QLineEdit*(const DialogItem&)>& createEdit = {});

// The base units a dialog is laid out with: those of its font, the horizontal
// one widened (by a fraction of a pixel if need be) where a caption would not
// fit its control in this font. Fonts differ in their proportions; the layout
// keeps those of the template.
QSizeF LayoutBaseUnits(const QWidget* dialog, const DialogTemplate& dialogTemplate,
                      const std::vector<QWidget*>& controls);

// Places the controls (one per template item, null for an item that was not
// created) and sizes the dialog's client area, with LayoutBaseUnits.
void LayOutDialog(QWidget* dialog, const DialogTemplate& dialogTemplate,
                  const std::vector<QWidget*>& controls);
