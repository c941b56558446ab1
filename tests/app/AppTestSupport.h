// The main dialog on the offscreen platform, driven against a simulated
// device, with file choosers and message boxes replaced by recorders.
#pragma once

#include "App.h"
#include "AppSettings.h"
#include "Diagnostics.h"
#include "FlashChips.h"
#include "HidSimBackend.h"
#include "MainDialog.h"
#include "SimDevice.h"
#include "SimOtherInterface.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct ShownMessage
{
    QString Text;
    QString Caption;
    MessageIcon Icon;
    bool Owned;   // modal to the dialog; false: a box without owner
    QString Details;
};

class CRecordingServices : public CDialogServices
{
public:
    QString GetOpenFileName(QWidget*, const QString& filter) override
    {
        Filters.push_back(filter);
        return Take(OpenAnswers);
    }
    QString GetSaveFileName(QWidget*, const QString& filter) override
    {
        Filters.push_back(filter);
        return Take(SaveAnswers);
    }
    void MessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon,
                    const QString& details) override
    {
        Messages.push_back({text, caption, icon, owner != nullptr, details});
    }
    void ShowModelessMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        Messages.push_back({text, caption, icon, false, QString()});
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const ShownMessage& m : Messages)
            texts << m.Text;
        return texts;
    }

    std::deque<QString> OpenAnswers;   // what the next file choosers return ("" = cancel)
    std::deque<QString> SaveAnswers;
    QStringList Filters;
    std::vector<ShownMessage> Messages;

private:
    static QString Take(std::deque<QString>& answers)
    {
        if (answers.empty())
            return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class AppTest : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            s_app = new Cred_ode_App(argc, argv);
    }

protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_settingsDir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
        g_nFlashChipIndex = FLASH_CHIP_NOT_IDENTIFIED;
        g_flashGeometry = FlashGeometry{};
    }

    void TearDown() override
    {
        if (m_dialog && m_dialog->IsWorkerRunning())
            WaitUntil([this]() { return !m_dialog->IsWorkerRunning(); }, 20000);
        m_dialog.reset();
        QCoreApplication::processEvents();
        SetHidBackend(nullptr);
    }

    // Three unrelated interfaces, then the device (the fourth interface).
    CSimDevice& InstallDevice(const SimDeviceOptions& options = SimDeviceOptions())
    {
        InstallOthers();
        std::string error;
        std::unique_ptr<CSimDevice> device = CSimDevice::Create(options, error);
        EXPECT_TRUE(device) << error;
        m_device = std::shared_ptr<CSimDevice>(std::move(device));
        m_backend->AddNode(m_device);
        return *m_device;
    }
    void InstallOthers()
    {
        m_backend = std::make_unique<CHidSimBackend>();
        for (SimOtherKind kind : {SimOtherKind::Keyboard, SimOtherKind::Mouse, SimOtherKind::ConsumerControl})
            m_backend->AddNode(std::make_shared<CSimOtherInterface>(kind));
        SetHidBackend(m_backend.get());
    }

    Cred_ode_velmorDlg& Dialog()
    {
        if (!m_dialog) {
            m_dialog = std::make_unique<Cred_ode_velmorDlg>(&m_services);
            m_dialog->show();
            QCoreApplication::processEvents();
        }
        return *m_dialog;
    }
    // The dialog with the device opened.
    Cred_ode_velmorDlg& OpenedDialog()
    {
        Click(1027);
        EXPECT_FALSE(Ctl<QAbstractButton>(1027)->isEnabled());
        return *m_dialog;
    }

    template <class T = QWidget>
    T* Ctl(int id)
    {
        T* control = qobject_cast<T*>(Dialog().ControlById(id));
        EXPECT_TRUE(control) << "control " << id;
        return control;
    }
    QString Text(int id)
    {
        QWidget* control = Dialog().ControlById(id);
        if (auto* edit = qobject_cast<QLineEdit*>(control))
            return edit->text();
        if (auto* label = qobject_cast<QLabel*>(control))
            return label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(control))
            return button->text();
        ADD_FAILURE() << "no text in control " << id;
        return QString();
    }
    void SetText(int id, const QString& text) { Ctl<QLineEdit>(id)->setText(text); }
    bool Enabled(int id) { return Ctl(id)->isEnabled(); }
    // A click as the user makes it: nothing happens on a disabled button.
    void Click(int id)
    {
        Ctl<QAbstractButton>(id)->click();
        QCoreApplication::processEvents();
    }

    static bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(1);
        }
        QCoreApplication::processEvents();
        return true;
    }
    bool WaitForWorker()
    {
        return WaitUntil([this]() { return !m_dialog->IsWorkerRunning() && !m_dialog->Programmer().IsBusy(); });
    }

    QString StoredSettingsPath() const
    {
        return m_settingsDir.path() + "/" + kCompanyKey + "/" + kApplicationName + ".conf";
    }
    QVariant StoredIsAccessAll() const
    {
        QSettings settings(StoredSettingsPath(), QSettings::IniFormat);
        return settings.value("Settings/IsAccessAll");
    }
    void StoreIsAccessAll(const QVariant& value)
    {
        QSettings settings(StoredSettingsPath(), QSettings::IniFormat);
        settings.setValue("Settings/IsAccessAll", value);
    }

    QString TempPath(const QString& name) const { return m_filesDir.path() + "/" + name; }
    static bool WriteFile(const QString& path, const std::vector<uint8_t>& bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) &&
               file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
                   static_cast<qint64>(bytes.size());
    }

    static inline Cred_ode_App* s_app = nullptr;
    QTemporaryDir m_settingsDir;
    QTemporaryDir m_filesDir;
    CDiagnosticsCapture m_diagnostics;
    CRecordingServices m_services;
    std::unique_ptr<CHidSimBackend> m_backend;
    std::shared_ptr<CSimDevice> m_device;
    std::unique_ptr<Cred_ode_velmorDlg> m_dialog;
};
