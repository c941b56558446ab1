// What the dialog asks of the desktop: choosing a file and showing a message
// box. Tests install their own services so that no one has to click.
#pragma once

#include "FlashFile.h"

#include <QString>

class QWidget;

class CDialogServices
{
public:
    virtual ~CDialogServices() = default;

    // An existing file to read; empty when the user cancels.
    virtual QString GetOpenFileName(QWidget* owner, const QString& filter) = 0;
    // A file to write; the user confirms before an existing file is chosen.
    // Empty when the user cancels.
    virtual QString GetSaveFileName(QWidget* owner, const QString& filter) = 0;
    // A message box owned by `owner` and modal to it, with an OK button; returns
    // when the user has dismissed it. `details` is shown below the text (empty: none).
    virtual void MessageBox(QWidget* owner, const QString& text, const QString& caption,
                            MessageIcon icon, const QString& details) = 0;
    // A message box without owner that leaves every other window usable;
    // returns at once.
    virtual void ShowModelessMessage(const QString& text, const QString& caption,
                                     MessageIcon icon) = 0;
};

// The desktop's own file dialogs and message boxes.
class CQtDialogServices : public CDialogServices
{
public:
    QString GetOpenFileName(QWidget* owner, const QString& filter) override;
    QString GetSaveFileName(QWidget* owner, const QString& filter) override;
    void MessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon,
                    const QString& details) override;
    void ShowModelessMessage(const QString& text, const QString& caption, MessageIcon icon) override;
};
