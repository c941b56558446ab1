#include "DialogTemplate.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace {

using K = DialogItemKind;

constexpr unsigned TAB = kItemTabStop;

// Main dialog, in template order (which is also the tab order).
const DialogItem kMainItems[] = {
    {1, K::DefPushButton, "OK", 141, 336, 50, 14, TAB},
    {IDC_STATIC, K::Static, "HID Device Info:", 6, 32, 53, 8, 0},
    {1001, K::Edit, "", 62, 30, 253, 14, TAB | kItemReadOnly | kItemBorder},
    {1003, K::PushButton, "Write", 268, 72, 50, 14, TAB},
    {IDC_STATIC, K::Static, "Addr : 0x", 54, 58, 33, 8, 0},
    {1004, K::Edit, "", 89, 55, 40, 14, TAB | kItemBorder},
    {IDC_STATIC, K::Static, "Value : 0x", 149, 58, 34, 8, 0},
    {1005, K::Edit, "", 186, 55, 40, 14, TAB | kItemAlignRight | kItemBorder},
    {1006, K::PushButton, "Read", 268, 54, 50, 14, TAB},
    {IDC_STATIC, K::Static, "Burn File:", 6, 169, 32, 8, 0},
    {1007, K::Edit, "", 43, 166, 250, 14, TAB | kItemBorder},
    {1008, K::PushButton, "...", 296, 166, 27, 14, TAB},
    {1009, K::ProgressBar, "", 43, 184, 190, 14, kItemBorder},
    {1010, K::Static, "Static", 6, 183, 30, 21, 0},
    {1011, K::Static, "Static", 233, 187, 40, 8, kItemAlignRight},
    {IDC_STATIC, K::Static, "/", 273, 187, 8, 8, kItemAlignCenter},
    {1012, K::Static, "Static", 279, 187, 43, 8, 0},
    {IDC_STATIC, K::Static, "Dump File:", 6, 203, 36, 8, 0},
    {1013, K::Edit, "", 43, 201, 250, 14, TAB | kItemBorder},
    {1014, K::PushButton, "Get ID", 80, 293, 50, 14, TAB},
    {1015, K::PushButton, "...", 296, 201, 27, 14, TAB},
    {IDC_STATIC, K::GroupBox, "Flash Information", 4, 111, 322, 200, 0},
    {1016, K::PushButton, "Burn", 141, 293, 50, 14, TAB},
    {1017, K::PushButton, "Dump", 202, 293, 50, 14, TAB},
    {IDC_STATIC, K::Static, "Device Name :", 10, 121, 49, 8, 0},
    {IDC_STATIC, K::Static, "Page Size     :", 10, 131, 47, 8, 0},
    {IDC_STATIC, K::Static, "Sector Size   :", 10, 141, 47, 8, 0},
    {IDC_STATIC, K::Static, "Total Block    :", 10, 151, 50, 8, 0},
    {1018, K::Static, "", 64, 121, 55, 8, 0},
    {1019, K::Static, "", 64, 131, 55, 8, 0},
    {1020, K::Static, "", 64, 141, 55, 8, 0},
    {1021, K::Static, "", 64, 151, 55, 8, 0},
    {IDC_STATIC, K::Static, "Device ID            :", 151, 121, 63, 8, 0},
    {IDC_STATIC, K::Static, "Pages per Sector :", 151, 131, 68, 8, 0},
    {IDC_STATIC, K::Static, "Sectors per block :", 151, 141, 65, 8, 0},
    {IDC_STATIC, K::Static, "Total Size           :", 151, 151, 67, 8, 0},
    {1028, K::Static, "", 220, 121, 55, 8, 0},
    {1029, K::Static, "", 220, 131, 55, 8, 0},
    {1030, K::Static, "", 220, 141, 55, 8, 0},
    {1031, K::Static, "", 220, 151, 55, 8, 0},
    {IDC_STATIC, K::Static, "Device VID : 0x", 15, 12, 51, 8, 0},
    {1025, K::Edit, "", 67, 9, 29, 14, TAB | kItemAlignCenter | kItemBorder},
    {1026, K::Edit, "", 135, 9, 29, 14, TAB | kItemAlignCenter | kItemBorder},
    {IDC_STATIC, K::Static, "PID : 0x", 106, 12, 26, 8, 0},
    {1027, K::PushButton, "Open Device", 196, 9, 50, 14, TAB},
    {IDC_STATIC, K::GroupBox, "Device Setting", 3, 1, 313, 26, 0},
    {1032, K::AutoRadioButton, "Entire Flash", 11, 226, 54, 10, 0},
    {1033, K::AutoRadioButton, "Other Area", 67, 226, 52, 10, 0},
    {IDC_STATIC, K::GroupBox, "Burn Area", 6, 217, 315, 36, 0},
    {1034, K::AutoCheckBox, "Firmware", 122, 226, 47, 10, TAB},
    {1035, K::AutoCheckBox, "Private Data", 122, 238, 55, 10, TAB},
    {1036, K::AutoCheckBox, "Customized Data", 183, 227, 71, 10, TAB},
    {IDC_STATIC, K::GroupBox, "Version Info", 7, 252, 315, 35, 0},
    {IDC_STATIC, K::Static, ".hex :", 10, 267, 20, 8, 0},
    {1040, K::Edit, "", 31, 265, 49, 14, TAB | kItemAlignCenter | kItemBorder},
    {IDC_STATIC, K::Static, "Firmware :", 88, 267, 38, 8, 0},
    {1041, K::Edit, "", 129, 265, 49, 14, TAB | kItemAlignCenter | kItemBorder},
    {1042, K::PushButton, "Get FW Ver.", 202, 265, 50, 14, TAB},
    {IDC_STATIC, K::GroupBox, "Peripheral Read && Write", 3, 46, 319, 62, 0},
    {1044, K::AutoRadioButton, "Register", 7, 57, 43, 10, kItemGroup},
    {1045, K::AutoRadioButton, "IIC", 7, 74, 25, 10, 0},
    {1046, K::AutoRadioButton, "GPIO", 7, 91, 32, 10, 0},
    {IDC_STATIC, K::Static, "Addr : 0x", 43, 76, 31, 8, kItemTransparent},
    {1022, K::Edit, "", 77, 73, 27, 14, TAB | kItemAlignCenter | kItemBorder},
    {IDC_STATIC, K::Static, "Ret cocde : 0x", 189, 76, 48, 8, 0},
    {1023, K::Edit, "", 238, 73, 27, 14, TAB | kItemAlignCenter | kItemBorder},
    {IDC_STATIC, K::Static, "Data : 0x", 115, 76, 31, 8, kItemTransparent},
    {1024, K::Edit, "", 150, 73, 27, 14, TAB | kItemAlignCenter | kItemBorder},
    {1048, K::DropDownCombo, "", 70, 91, 42, 12, TAB | kItemSorted},
    {IDC_STATIC, K::Static, "Number", 42, 92, 27, 8, kItemTransparent},
    {1049, K::DropDownCombo, "", 149, 91, 42, 30, TAB | kItemSorted},
    {IDC_STATIC, K::Static, "Direction", 118, 92, 30, 8, kItemTransparent},
    {IDC_STATIC, K::Static, "Value", 213, 93, 19, 8, kItemTransparent},
    {1050, K::Edit, "", 237, 90, 27, 14, TAB | kItemAlignCenter | kItemBorder},
    {1051, K::PushButton, "Set GPIO", 268, 90, 50, 14, TAB},
    {1052, K::Edit, "", 39, 315, 237, 14, TAB | kItemReadOnly | kItemBorder},
    {1043, K::PushButton, "Get HDMI Info.", 277, 315, 50, 14, TAB},
    {IDC_STATIC, K::Static, "HDMI Info:", 2, 318, 36, 8, 0},
    {1053, K::PushButton, "Test", 265, 335, 50, 14, TAB | kItemHidden},
};

// About box: the application icon, the product line and an OK button.
const DialogItem kAboutItems[] = {
    {IDC_STATIC, K::Icon, "", 14, 14, 21, 20, 0},
    {IDC_STATIC, K::Static, "Pellaro Update Tool, Version 1.0.5.0", 42, 14, 114, 8, 0},
    {IDC_STATIC, K::Static, "Velmor UVC Applications", 42, 26, 114, 8, 0},
    {1, K::DefPushButton, "OK", 113, 41, 50, 14, TAB | kItemGroup},
};

} // namespace

const DialogTemplate g_mainDialogTemplate = {
    IDD_RED_ODE_VELMOR_DIALOG, "Pellaro Update tool", 332, 358, kMainItems,
    sizeof kMainItems / sizeof kMainItems[0]};

const DialogTemplate g_aboutDialogTemplate = {
    IDD_ABOUTBOX, "About RIZ Adad", 170, 62, kAboutItems, sizeof kAboutItems / sizeof kAboutItems[0]};

QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    static const QString alphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // Average width of the 52 letters, rounded to the nearest pixel.
    const int width = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    return QSize(width > 0 ? width : 1, metrics.height() > 0 ? metrics.height() : 1);
}

QRect MapDialogRect(const QRect& dialogUnits, QSizeF baseUnits)
{
    const auto x = [&baseUnits](int units) { return qRound(units * baseUnits.width() / 4); };
    const auto y = [&baseUnits](int units) { return qRound(units * baseUnits.height() / 8); };
    const int left = x(dialogUnits.x());
    const int top = y(dialogUnits.y());
    return QRect(left, top, x(dialogUnits.x() + dialogUnits.width()) - left,
                 y(dialogUnits.y() + dialogUnits.height()) - top);
}

QString DialogItemObjectName(const DialogTemplate& dialogTemplate, size_t index)
{
    const int id = dialogTemplate.Items[index].Id;
    return id == IDC_STATIC ? QStringLiteral("item%1").arg(index) : QStringLiteral("ctl%1").arg(id);
}

namespace {

// The width in pixels a control needs to show its caption whole; 0 for a
// control whose text is not fixed by the template.
int CaptionWidth(const DialogItem& item, const QWidget* control)
{
    const QFontMetrics metrics(control->font());
    const QString text = QString::fromUtf8(item.Text);
    if (text.isEmpty())
        return 0;
    switch (item.Kind) {
    case DialogItemKind::Static:
        // Texts with an id are values the program writes; a wrapping static
        // breaks its text into lines.
        if (item.Id != IDC_STATIC || item.Height > 8)
            return 0;
        return metrics.horizontalAdvance(text);
    case DialogItemKind::DefPushButton:
    case DialogItemKind::PushButton:
        // The caption with the frame and two pixels of air on each side.
        return metrics.horizontalAdvance(QString(text).replace(QStringLiteral("&&"), QStringLiteral("&"))) +
               2 * control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control) + 4;
    case DialogItemKind::AutoRadioButton:
    case DialogItemKind::AutoCheckBox:
        return control->sizeHint().width();
    case DialogItemKind::GroupBox:
    case DialogItemKind::Edit:
    case DialogItemKind::ProgressBar:
    case DialogItemKind::DropDownCombo:
    case DialogItemKind::Icon:
        break;
    }
    return 0;
}

} // namespace

QSizeF LayoutBaseUnits(const QWidget* dialog, const DialogTemplate& dialogTemplate,
                       const std::vector<QWidget*>& controls)
{
    const QSize font = DialogBaseUnits(dialog->font());
    QSizeF base(font);
    // Never more than half as wide again as the font's own unit.
    const qreal widest = font.width() * 1.5;
    for (size_t i = 0; i < dialogTemplate.Count && i < controls.size(); ++i) {
        const DialogItem& item = dialogTemplate.Items[i];
        if (!controls[i] || item.Width <= 0)
            continue;
        // The unit for which item.Width * unit / 4 holds the caption.
        const qreal unit = CaptionWidth(item, controls[i]) * 4.0 / item.Width;
        if (unit > base.width())
            base.setWidth(std::min(unit, widest));
    }
    return base;
}

void LayOutDialog(QWidget* dialog, const DialogTemplate& dialogTemplate,
                  const std::vector<QWidget*>& controls)
{
    const QSizeF base = LayoutBaseUnits(dialog, dialogTemplate, controls);
    for (size_t i = 0; i < dialogTemplate.Count && i < controls.size(); ++i) {
        QWidget* control = controls[i];
        if (!control)
            continue;
        const DialogItem& item = dialogTemplate.Items[i];
        int height = item.Height;
        // The height of a drop-down combo box includes its list; the field
        // itself is as high as the smaller of that and an edit field.
        if (item.Kind == DialogItemKind::DropDownCombo && height > 12)
            height = 12;
        control->setGeometry(MapDialogRect(QRect(item.X, item.Y, item.Width, height), base));
    }
    const QRect client = MapDialogRect(QRect(0, 0, dialogTemplate.Width, dialogTemplate.Height), base);
    dialog->resize(client.size());
}

DialogControls CreateDialogControls(QWidget* dialog, const DialogTemplate& dialogTemplate,
                                    const std::function<QLineEdit*(const DialogItem&)>& createEdit)
{
    DialogControls controls;
    QButtonGroup* group = nullptr;
    QWidget* previousTabStop = nullptr;
    for (size_t i = 0; i < dialogTemplate.Count; ++i) {
        const DialogItem& item = dialogTemplate.Items[i];
        const QString text = QString::fromUtf8(item.Text);
        Qt::Alignment horizontal = Qt::AlignLeft;
        if (item.Style & kItemAlignCenter)
            horizontal = Qt::AlignHCenter;
        else if (item.Style & kItemAlignRight)
            horizontal = Qt::AlignRight;

        if (item.Kind == DialogItemKind::Static || item.Kind == DialogItemKind::GroupBox ||
            (item.Style & kItemGroup))
            group = nullptr;

        QWidget* widget = nullptr;
        switch (item.Kind) {
        case DialogItemKind::DefPushButton:
        case DialogItemKind::PushButton: {
            auto* button = new QPushButton(text, dialog);
            button->setAutoDefault(true);
            button->setDefault(item.Kind == DialogItemKind::DefPushButton);
            widget = button;
            break;
        }
        case DialogItemKind::Static: {
            auto* label = new QLabel(text, dialog);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(horizontal | Qt::AlignTop);
            // A static more than one line high wraps its text.
            label->setWordWrap(item.Height > 8);
            widget = label;
            break;
        }
        case DialogItemKind::Icon: {
            auto* label = new QLabel(dialog);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            break;
        }
        case DialogItemKind::GroupBox: {
            auto* box = new QGroupBox(text, dialog);
            // A frame only: it lies behind the controls drawn on it and lets
            // every click through to them.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            widget = box;
            break;
        }
        case DialogItemKind::Edit: {
            QLineEdit* edit = createEdit ? createEdit(item) : nullptr;
            if (!edit)
                edit = new QLineEdit(dialog);
            if (edit->parentWidget() != dialog)
                edit->setParent(dialog);
            edit->setText(text);
            edit->setAlignment(horizontal | Qt::AlignVCenter);
            edit->setReadOnly(item.Style & kItemReadOnly);
            edit->setFrame(item.Style & kItemBorder);
            widget = edit;
            break;
        }
        case DialogItemKind::AutoRadioButton: {
            auto* radio = new QRadioButton(text, dialog);
            if (!group) {
                group = new QButtonGroup(dialog);
                group->setExclusive(true);
                controls.RadioGroups.push_back(group);
            }
            group->addButton(radio, item.Id);
            widget = radio;
            break;
        }
        case DialogItemKind::AutoCheckBox:
            widget = new QCheckBox(text, dialog);
            break;
        case DialogItemKind::ProgressBar: {
            auto* progress = new QProgressBar(dialog);
            progress->setRange(0, 100);
            progress->setValue(0);
            progress->setTextVisible(false);
            widget = progress;
            break;
        }
        case DialogItemKind::DropDownCombo: {
            auto* combo = new QComboBox(dialog);
            combo->setEditable(true);
            // Typed text is never added to the list.
            combo->setInsertPolicy(QComboBox::NoInsert);
            widget = combo;
            break;
        }
        }

        widget->setObjectName(DialogItemObjectName(dialogTemplate, i));
        widget->setProperty("dialogItemId", item.Id);
        if (item.Kind == DialogItemKind::Static || item.Kind == DialogItemKind::GroupBox ||
            item.Kind == DialogItemKind::Icon || item.Kind == DialogItemKind::ProgressBar)
            widget->setFocusPolicy(Qt::NoFocus);
        else
            widget->setFocusPolicy((item.Style & kItemTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
        if (item.Style & kItemDisabled)
            widget->setEnabled(false);
        if (item.Style & kItemHidden)
            widget->setHidden(true);
        if (item.Style & kItemTabStop) {
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
        controls.Widgets.push_back(widget);
    }
    // Frames lie behind everything, as they are drawn first.
    for (QWidget* widget : controls.Widgets) {
        if (qobject_cast<QGroupBox*>(widget))
            widget->lower();
    }
    return controls;
}
