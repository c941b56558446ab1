// The About box: the application icon, the product and its version.
#pragma once

#include <QDialog>

#include <vector>

class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

private:
    std::vector<QWidget*> m_controls;
};
