// The main dialog of the tool: device setting, peripheral panel, flash
// information, burn and dump, version and HDMI information. Every button is a
// handler here; the device work is done by the device session and the flash
// programmer, which this dialog owns.
//
// The device record, the payload buffers and the open flag (m_hidDevice,
// m_pReportBuf0..2, m_nReportLen0..2, m_bDeviceOpened) live in m_session; the
// flash file (m_hFile, m_szFilePath), the chip results (m_nSectorSize,
// m_nFlashSize), the burn mode and the worker thread live in m_programmer.
#pragma once

#include "DialogServices.h"
#include "DialogTemplate.h"
#include "FlashProgrammer.h"

#include <QDialog>
#include <QIcon>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class CHexEdit;
class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

constexpr unsigned IDM_ABOUTBOX = 0x0010;
constexpr char IDS_ABOUTBOX[] = "&About  RIZ Adad...";

class Cred_ode_velmorDlg : public QDialog, public CWorkerFrontEnd
{
    Q_OBJECT

public:
    // `services` chooses files and shows message boxes; null uses the
    // desktop's own. The dialog does not take ownership of it.
    explicit Cred_ode_velmorDlg(CDialogServices* services = nullptr, QWidget* parent = nullptr);
    ~Cred_ode_velmorDlg() override;

    // The control with a template id (1, 1001 ... 1053); null for an unknown id.
    QWidget* ControlById(int id) const;
    // The control at a position of the template (also those without an id).
    QWidget* ControlAt(size_t templateIndex) const;
    // All controls, in template order.
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    // The two radio groups: Burn Area (1032, 1033) and the panel mode (1044 to 1046).
    const std::vector<QButtonGroup*>& RadioGroups() const { return m_radioGroups; }
    // The "About" entry of the dialog's context menu.
    QAction* AboutAction() const { return m_aboutAction; }

    CDeviceSession& Session() { return m_session; }
    CFlashProgrammer& Programmer() { return m_programmer; }
    // True from a started burn or dump until the dialog has taken its end.
    bool IsWorkerRunning() const { return m_bWorkerRunning; }

    // Command handlers.
    void OnSysCommand(unsigned id);
    void OnOK();
    void OnCancel();
    void OnOpenDevice();
    void OnWrite();
    void OnRead();
    void OnSetGpio();
    void OnBrowseBurnFile();
    void OnBurn();
    void OnGetId();
    void OnDump();
    void OnBrowseDumpFile();
    void OnEntireFlash();
    void OnOtherArea();
    void OnGetFwVer();
    void OnGetHdmiInfo();
    void OnTest();
    void EnableAreaChecks(bool enable);

    // CWorkerFrontEnd: called on the worker's thread (or on this one for a
    // refused start); each hands its work to this dialog's thread.
    void ShowMessage(const char* text, const char* caption, MessageIcon icon) override;
    void SetStatusText(const char* text) override;
    void SetTotalText(const char* text) override;
    void SetCurrentText(const char* text) override;
    void SetProgressRange(uint32_t total) override;
    void SetProgressPos(uint32_t position) override;
    bool IsEntireFlashSelected() override { return m_bEntireFlashChecked.load(); }
    bool IsOtherAreaSelected() override { return m_bOtherAreaChecked.load(); }
    bool IsAreaTicked(int areaRow) override;
    void OnWorkerFinished(bool burn) override;

    // Controls, bound by id when the dialog is built.
    QIcon m_hIcon;
    QPushButton* m_btnGetHdmiInfo = nullptr;
    uint8_t m_nGpioPin = 0;
    uint8_t m_nGpioDirection = 0;
    QComboBox* m_comboGpioDirection = nullptr;
    QComboBox* m_comboGpioNumber = nullptr;
    QRadioButton* m_pRadioGpio = nullptr;
    QRadioButton* m_pRadioIic = nullptr;
    QRadioButton* m_pRadioRegister = nullptr;
    CHexEdit* m_hexGpioValue = nullptr;
    CHexEdit* m_hexIicData = nullptr;
    CHexEdit* m_hexIicRetCode = nullptr;
    CHexEdit* m_hexIicAddr = nullptr;
    CHexEdit* m_hexImageVersion = nullptr;
    CHexEdit* m_hexFwVersion = nullptr;
    QPushButton* m_btnGetFwVer = nullptr;
    QCheckBox* m_chkPrivateData = nullptr;
    QCheckBox* m_chkCustomizedData = nullptr;
    QCheckBox* m_chkFirmware = nullptr;
    QRadioButton* m_pRadioEntireFlash = nullptr;
    QRadioButton* m_pRadioOtherArea = nullptr;
    QPushButton* m_btnOpenDevice = nullptr;
    CHexEdit* m_hexVid = nullptr;
    CHexEdit* m_hexPid = nullptr;
    QLabel* m_pStaticTotal = nullptr;
    QLabel* m_pStaticCurrent = nullptr;
    QLabel* m_pStaticStatus = nullptr;
    QLineEdit* m_editDeviceInfo = nullptr;
    CHexEdit* m_hexRegAddr = nullptr;
    CHexEdit* m_hexRegValue = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_btnBurn = nullptr;
    QPushButton* m_btnDump = nullptr;
    QLineEdit* m_editBurnFile = nullptr;
    QLineEdit* m_editDumpFile = nullptr;
    QPushButton* m_btnBurnBrowse = nullptr;
    QPushButton* m_btnDumpBrowse = nullptr;
    QLineEdit* m_editHdmiInfo = nullptr;

protected:
    bool OnInitDialog();
    // OK and Enter end through OnOK; Escape and the close box through OnCancel.
    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void DoDataExchange();
    void MapMessages();
    QPushButton* Button(int id) const;
    QLabel* Static(int id) const;

    // Runs `work` on this dialog's thread, after what was posted before it.
    void Post(std::function<void()> work);
    void DeliverMessage(const QString& text, const QString& caption, MessageIcon icon, bool fromWorker);
    void ShowError(const QString& text, const QString& details = QString());
    void UpdateAreaSnapshot();

    // Refusals shared by the device commands; true when the command may run.
    bool CheckDeviceOpened();
    bool CheckDeviceCommands();
    void ReportCommandFailure();
    void ReportNoDevice(OpenDeviceResult result, uint16_t vendorId, uint16_t productId);
    bool RefuseWhileBusy();

    void StartWorker(bool burn);
    void EnterWorkerState();
    void LeaveWorkerState();
    void FinishWorker(bool burn);
    void ReportUnfinishedWork(bool burn);
    void ReleaseDeviceAndFile();

    CDialogServices* m_services;
    std::unique_ptr<CDialogServices> m_ownServices;
    std::vector<QWidget*> m_controls;   // template order
    std::vector<QButtonGroup*> m_radioGroups;
    QAction* m_aboutAction = nullptr;

    CDeviceSession m_session;
    CFlashProgrammer m_programmer;

    // The Burn Area choice as the workers read it, kept up to date from the
    // radio buttons and check boxes on this dialog's thread.
    std::atomic<bool> m_bEntireFlashChecked{false};
    std::atomic<bool> m_bOtherAreaChecked{false};
    std::atomic<bool> m_bAreaTicked[3] = {false, false, false};

    bool m_bWorkerRunning = false;
    bool m_bWorkerIsBurn = false;
    int m_nWorkerProblems = 0;   // error and warning boxes of the worker under way
    std::vector<std::pair<QPointer<QWidget>, bool>> m_savedEnabled;
    int m_nProgressShift = 0;    // totals above the bar's range are scaled down
};
