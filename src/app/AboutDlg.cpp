#include "AboutDlg.h"

#include "DialogTemplate.h"

#include <QAbstractButton>
#include <QIcon>
#include <QLabel>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(g_aboutDialogTemplate.Caption));
    m_controls = CreateDialogControls(this, g_aboutDialogTemplate).Widgets;
    LayOutDialog(this, g_aboutDialogTemplate, m_controls);
    setFixedSize(size());

    for (size_t i = 0; i < g_aboutDialogTemplate.Count; ++i) {
        const DialogItem& item = g_aboutDialogTemplate.Items[i];
        if (item.Kind == DialogItemKind::Icon) {
            auto* label = qobject_cast<QLabel*>(m_controls[i]);
            const QIcon icon = parent ? parent->windowIcon() : windowIcon();
            label->setPixmap(icon.pixmap(label->size().boundedTo(QSize(32, 32))));
        } else if (item.Id == 1) {
            connect(qobject_cast<QAbstractButton*>(m_controls[i]), &QAbstractButton::clicked, this,
                    &QDialog::accept);
        }
    }
}
