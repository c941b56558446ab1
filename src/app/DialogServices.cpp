#include "DialogServices.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Information: break;
    }
    return QMessageBox::Information;
}

// Line breaks may come as CR LF; a message box wants LF alone.
QString BoxText(const QString& text)
{
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

} // namespace

QString CQtDialogServices::GetOpenFileName(QWidget* owner, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner, QObject::tr("Open"), QString(), filter);
}

QString CQtDialogServices::GetSaveFileName(QWidget* owner, const QString& filter)
{
    // The file dialog asks before it hands out an existing file.
    return QFileDialog::getSaveFileName(owner, QObject::tr("Save As"), QString(), filter);
}

void CQtDialogServices::MessageBox(QWidget* owner, const QString& text, const QString& caption,
                                   MessageIcon icon, const QString& details)
{
    QMessageBox box(BoxIcon(icon), caption, BoxText(text), QMessageBox::Ok, owner);
    if (!details.isEmpty())
        box.setInformativeText(BoxText(details));
    box.exec();
}

void CQtDialogServices::ShowModelessMessage(const QString& text, const QString& caption,
                                            MessageIcon icon)
{
    auto* box = new QMessageBox(BoxIcon(icon), caption, BoxText(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}
