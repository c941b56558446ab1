#include "MainDialog.h"

#include "AboutDlg.h"
#include "AppIcon.h"
#include "AppSettings.h"
#include "Diagnostics.h"
#include "HexEdit.h"
#include "HexFormat.h"
#include "HidDevice.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <set>

namespace {

const int kHexEditIds[] = {1004, 1005, 1022, 1023, 1024, 1025, 1026, 1040, 1041, 1050};

// What a screen reader calls the fields (their labels in the dialog).
const std::pair<int, const char*> kFieldNames[] = {
    {1001, "HID Device Info"}, {1004, "Register address"}, {1005, "Register value"},
    {1007, "Burn File"},       {1013, "Dump File"},        {1022, "IIC device address"},
    {1023, "IIC return code"}, {1024, "IIC data"},         {1025, "Device VID"},
    {1026, "PID"},             {1040, "Image version"},    {1041, "Firmware version"},
    {1048, "GPIO number"},     {1049, "GPIO direction"},   {1050, "GPIO value"},
    {1052, "HDMI Info"},       {1009, "Progress"},
};

// The buttons whose handlers use the device, the payload buffers or the flash
// file: none of them may run while a burn or dump does.
const int kDeviceButtonIds[] = {1027, 1003, 1006, 1051, 1014, 1008, 1015, 1016, 1017, 1042, 1043, 1053};

const char kNoDevice[] = "HID Device no found !";
const char kSelectGpioMode[] = "Please select GPIO mode !";
const char kFileFilter[] = "All (*);;Text (*.TXT *.txt)";
const char kStatusWait[] = "Status: Wait";

const char kCannotCarryCommands[] =
    "The opened device cannot carry this command: it does not have the three report slots "
    "the tool needs.";
const char kNoAnswer[] =
    "The device did not answer the command.\n"
    "If it was unplugged, plug it in again and restart the tool.";
const char kBusy[] = "A burn or dump is in progress.\nPlease wait until it has finished.";
const char kBusyClosing[] =
    "A burn or dump is in progress.\n"
    "The tool stays open until it has finished; do not unplug the device.";

// Reads a hexadecimal field as the panel does: at most 9 characters, leading
// blanks skipped, an optional 0x, up to the first non-digit.
uint32_t ParseField(const QLineEdit* edit)
{
    return ParseHexField(edit->text().left(9).toStdString(), 9);
}

QString Hex2(uint32_t value)
{
    return QString::asprintf("%02x", value & 0xFF);
}

// Takes the selection of a combo box into `member` unless the user has typed
// over it (then the stored value stays).
void TakeSelection(const QComboBox* combo, uint8_t& member)
{
    const int index = combo->currentIndex();
    if (index >= 0 && combo->currentText() == combo->itemText(index))
        member = static_cast<uint8_t>(index);
}

} // namespace

Cred_ode_velmorDlg::Cred_ode_velmorDlg(CDialogServices* services, QWidget* parent)
    : QDialog(parent), m_services(services), m_programmer(m_session, *this)
{
    if (!m_services) {
        m_ownServices = std::make_unique<CQtDialogServices>();
        m_services = m_ownServices.get();
    }
    m_hIcon = CreateAppIcon();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromUtf8(g_mainDialogTemplate.Caption));
    setSizeGripEnabled(false);

    const std::set<int> hexIds(std::begin(kHexEditIds), std::end(kHexEditIds));
    DialogControls controls =
        CreateDialogControls(this, g_mainDialogTemplate, [this, &hexIds](const DialogItem& item) -> QLineEdit* {
            return hexIds.count(item.Id) ? new CHexEdit(this) : nullptr;
        });
    m_controls = std::move(controls.Widgets);
    m_radioGroups = std::move(controls.RadioGroups);
    for (const auto& [id, name] : kFieldNames) {
        if (QWidget* control = ControlById(id))
            control->setAccessibleName(QString::fromUtf8(name));
    }
    LayOutDialog(this, g_mainDialogTemplate, m_controls);

    DoDataExchange();
    MapMessages();
    OnInitDialog();
}

Cred_ode_velmorDlg::~Cred_ode_velmorDlg()
{
    // Only reached with a worker running when the application is made to
    // quit: a dump may stop after its chunk, a burn is left to finish its
    // work. The worker never waits for this thread, so waiting is safe.
    if (m_programmer.IsBusy() && !m_bWorkerIsBurn)
        m_programmer.RequestStop();
    m_programmer.WaitForWorker();
}

QWidget* Cred_ode_velmorDlg::ControlById(int id) const
{
    if (id == IDC_STATIC)
        return nullptr;
    for (size_t i = 0; i < g_mainDialogTemplate.Count && i < m_controls.size(); ++i) {
        if (g_mainDialogTemplate.Items[i].Id == id)
            return m_controls[i];
    }
    return nullptr;
}

QWidget* Cred_ode_velmorDlg::ControlAt(size_t templateIndex) const
{
    return templateIndex < m_controls.size() ? m_controls[templateIndex] : nullptr;
}

QPushButton* Cred_ode_velmorDlg::Button(int id) const
{
    return qobject_cast<QPushButton*>(ControlById(id));
}

QLabel* Cred_ode_velmorDlg::Static(int id) const
{
    return qobject_cast<QLabel*>(ControlById(id));
}

void Cred_ode_velmorDlg::DoDataExchange()
{
    m_editDeviceInfo = qobject_cast<QLineEdit*>(ControlById(1001));
    m_hexRegAddr = qobject_cast<CHexEdit*>(ControlById(1004));
    m_hexRegValue = qobject_cast<CHexEdit*>(ControlById(1005));
    m_btnBurn = Button(1016);
    m_btnDump = Button(1017);
    m_editBurnFile = qobject_cast<QLineEdit*>(ControlById(1007));
    m_editDumpFile = qobject_cast<QLineEdit*>(ControlById(1013));
    m_btnBurnBrowse = Button(1008);
    m_btnDumpBrowse = Button(1015);
    m_progress = qobject_cast<QProgressBar*>(ControlById(1009));
    m_hexVid = qobject_cast<CHexEdit*>(ControlById(1025));
    m_hexPid = qobject_cast<CHexEdit*>(ControlById(1026));
    m_btnOpenDevice = Button(1027);
    m_chkFirmware = qobject_cast<QCheckBox*>(ControlById(1034));
    m_chkCustomizedData = qobject_cast<QCheckBox*>(ControlById(1036));
    m_chkPrivateData = qobject_cast<QCheckBox*>(ControlById(1035));
    m_hexImageVersion = qobject_cast<CHexEdit*>(ControlById(1040));
    m_hexFwVersion = qobject_cast<CHexEdit*>(ControlById(1041));
    m_btnGetFwVer = Button(1042);
    m_hexIicAddr = qobject_cast<CHexEdit*>(ControlById(1022));
    m_hexIicRetCode = qobject_cast<CHexEdit*>(ControlById(1023));
    m_hexIicData = qobject_cast<CHexEdit*>(ControlById(1024));
    m_comboGpioNumber = qobject_cast<QComboBox*>(ControlById(1048));
    m_comboGpioDirection = qobject_cast<QComboBox*>(ControlById(1049));
    m_hexGpioValue = qobject_cast<CHexEdit*>(ControlById(1050));
    m_btnGetHdmiInfo = Button(1043);
    m_editHdmiInfo = qobject_cast<QLineEdit*>(ControlById(1052));
}

void Cred_ode_velmorDlg::MapMessages()
{
    const std::pair<int, void (Cred_ode_velmorDlg::*)()> buttons[] = {
        {1, &Cred_ode_velmorDlg::OnOK},
        {1003, &Cred_ode_velmorDlg::OnWrite},
        {1006, &Cred_ode_velmorDlg::OnRead},
        {1008, &Cred_ode_velmorDlg::OnBrowseBurnFile},
        {1016, &Cred_ode_velmorDlg::OnBurn},
        {1014, &Cred_ode_velmorDlg::OnGetId},
        {1017, &Cred_ode_velmorDlg::OnDump},
        {1015, &Cred_ode_velmorDlg::OnBrowseDumpFile},
        {1027, &Cred_ode_velmorDlg::OnOpenDevice},
        {1032, &Cred_ode_velmorDlg::OnEntireFlash},
        {1033, &Cred_ode_velmorDlg::OnOtherArea},
        {1042, &Cred_ode_velmorDlg::OnGetFwVer},
        {1051, &Cred_ode_velmorDlg::OnSetGpio},
        {1043, &Cred_ode_velmorDlg::OnGetHdmiInfo},
        {1053, &Cred_ode_velmorDlg::OnTest},
    };
    for (const auto& [id, handler] : buttons) {
        auto* button = qobject_cast<QAbstractButton*>(ControlById(id));
        connect(button, &QAbstractButton::clicked, this, handler);
    }
    for (int id : {1032, 1033, 1034, 1035, 1036}) {
        auto* button = qobject_cast<QAbstractButton*>(ControlById(id));
        connect(button, &QAbstractButton::toggled, this, &Cred_ode_velmorDlg::UpdateAreaSnapshot);
    }
}

bool Cred_ode_velmorDlg::OnInitDialog()
{
    // Linux window managers keep the window menu to themselves: the About
    // entry is offered in the dialog's context menu instead.
    const QString aboutText = QString::fromUtf8(IDS_ABOUTBOX);
    if (!aboutText.isEmpty()) {
        m_aboutAction = new QAction(aboutText, this);
        m_aboutAction->setData(IDM_ABOUTBOX);
        connect(m_aboutAction, &QAction::triggered, this, [this]() { OnSysCommand(IDM_ABOUTBOX); });
    }

    setWindowIcon(m_hIcon);

    m_hexVid->SetValue(0x32ED, true, 1);
    m_hexVid->setMaxLength(4);
    m_hexPid->SetValue(0x3200, true, 1);
    m_hexPid->setMaxLength(4);

    for (int id : {1008, 1015, 1016, 1017, 1042, 1043})
        Button(id)->setEnabled(false);

    m_pRadioEntireFlash = qobject_cast<QRadioButton*>(ControlById(1032));
    m_pRadioOtherArea = qobject_cast<QRadioButton*>(ControlById(1033));

    g_bIsAccessAll = ReadIsAccessAll();
    if (g_bIsAccessAll == 1) {
        m_pRadioEntireFlash->setChecked(true);
        m_pRadioOtherArea->setChecked(false);
        EnableAreaChecks(false);
    } else {
        m_pRadioOtherArea->setChecked(true);
        m_pRadioEntireFlash->setChecked(false);
        EnableAreaChecks(true);
        m_chkFirmware->setChecked(true);
    }
    UpdateAreaSnapshot();

    m_pRadioRegister = qobject_cast<QRadioButton*>(ControlById(1044));
    m_pRadioIic = qobject_cast<QRadioButton*>(ControlById(1045));
    m_pRadioGpio = qobject_cast<QRadioButton*>(ControlById(1046));

    // The first tab stop, "OK", takes the focus.
    Button(1)->setFocus();
    return true;
}

// ---------------------------------------------------------------------------
// Window

void Cred_ode_velmorDlg::OnSysCommand(unsigned id)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    }
}

void Cred_ode_velmorDlg::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_aboutAction)
        return;
    QMenu menu(this);
    menu.addAction(m_aboutAction);
    menu.exec(event->globalPos());
}

void Cred_ode_velmorDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // Dialog units follow the font: a new font lays the dialog out anew.
    if (event->type() == QEvent::FontChange && !m_controls.empty())
        LayOutDialog(this, g_mainDialogTemplate, m_controls);
}

void Cred_ode_velmorDlg::accept()
{
    OnOK();
}

void Cred_ode_velmorDlg::reject()
{
    OnCancel();
}

void Cred_ode_velmorDlg::closeEvent(QCloseEvent* event)
{
    // The close box, and the close request after "no device", go through
    // OnCancel, which ends the dialog itself when nothing is running.
    event->ignore();
    OnCancel();
}

bool Cred_ode_velmorDlg::RefuseWhileBusy()
{
    if (!m_bWorkerRunning && !m_programmer.IsBusy())
        return false;
    ShowError(QString::fromUtf8(kBusyClosing));
    return true;
}

void Cred_ode_velmorDlg::ReleaseDeviceAndFile()
{
    m_session.CloseDevice();                 // the device record and the payload buffers
    m_programmer.File().CloseFlashFile();    // the file and the loaded image
}

void Cred_ode_velmorDlg::OnOK()
{
    if (RefuseWhileBusy())
        return;
    ReleaseDeviceAndFile();
    if (m_pRadioEntireFlash)
        g_bIsAccessAll = m_pRadioEntireFlash->isChecked() ? 1 : 0;
    if (!WriteIsAccessAll(g_bIsAccessAll))
        DebugOutput("The Burn Area choice could not be stored\n");
    QDialog::done(QDialog::Accepted);
}

void Cred_ode_velmorDlg::OnCancel()
{
    if (RefuseWhileBusy())
        return;
    ReleaseDeviceAndFile();
    QDialog::done(QDialog::Rejected);
}

// ---------------------------------------------------------------------------
// Messages and refusals

void Cred_ode_velmorDlg::Post(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void Cred_ode_velmorDlg::ShowError(const QString& text, const QString& details)
{
    m_services->MessageBox(this, text, QStringLiteral("Error"), MessageIcon::Error, details);
}

void Cred_ode_velmorDlg::DeliverMessage(const QString& text, const QString& caption,
                                        MessageIcon icon, bool fromWorker)
{
    if (icon != MessageIcon::Information)
        ++m_nWorkerProblems;
    // A worker's boxes have no owner, so the dialog stays usable; a refused
    // start is answered by a box owned by the dialog.
    if (fromWorker)
        m_services->ShowModelessMessage(text, caption, icon);
    else
        m_services->MessageBox(this, text, caption, icon, QString());
}

bool Cred_ode_velmorDlg::CheckDeviceOpened()
{
    // Their buttons are disabled while a worker runs; a command that still got
    // here would wait for the whole transfer, since the worker holds the device.
    if (m_bWorkerRunning || m_programmer.IsBusy()) {
        ShowError(QString::fromUtf8(kBusy));
        return false;
    }
    if (m_session.m_bDeviceOpened)
        return true;
    ShowError(QString::fromUtf8(kNoDevice));
    return false;
}

bool Cred_ode_velmorDlg::CheckDeviceCommands()
{
    if (!CheckDeviceOpened())
        return false;
    if (m_session.CanRunCommands())
        return true;
    ShowError(QString::fromUtf8(kCannotCarryCommands));
    return false;
}

void Cred_ode_velmorDlg::ReportCommandFailure()
{
    ShowError(QString::fromUtf8(kNoAnswer));
}

// ---------------------------------------------------------------------------
// Open Device

void Cred_ode_velmorDlg::ReportNoDevice(OpenDeviceResult result, uint16_t vendorId, uint16_t productId)
{
    QString details = QString::fromUtf8(HidSearchProblem());
    if (details.isEmpty() && result == OpenDeviceResult::NotUsable)
        details = QString::asprintf("A device with VID 0x%04X and PID 0x%04X is present, but its "
                                    "HID reports could not be read.",
                                    vendorId, productId);
    ShowError(QString::fromUtf8(kNoDevice), details);
    // The tool closes once the box is dismissed.
    Post([this]() { close(); });
}

void Cred_ode_velmorDlg::OnOpenDevice()
{
    if (m_bWorkerRunning)
        return;
    const auto vendorId = static_cast<uint16_t>(ParseField(m_hexVid) & 0xFFFF);
    const auto productId = static_cast<uint16_t>(ParseField(m_hexPid) & 0xFFFF);
    uint32_t deviceIndex = HID_NO_DEVICE_INDEX;
    // Opening again releases what an earlier open left behind.
    const OpenDeviceResult result = m_session.OpenDevice(vendorId, productId, &deviceIndex);
    switch (result) {
    case OpenDeviceResult::SearchFailed:
        DebugOutput("The HID interfaces could not be listed\n");
        return;
    case OpenDeviceResult::NotFound:
    case OpenDeviceResult::NotUsable:
        ReportNoDevice(result, vendorId, productId);
        return;
    case OpenDeviceResult::OpenedWithoutBuffers:
    case OpenDeviceResult::Opened:
        break;
    }

    m_pRadioRegister->setChecked(true);
    m_pRadioIic->setChecked(false);
    m_pRadioGpio->setChecked(false);

    // A second open fills the lists anew instead of adding to them.
    m_comboGpioNumber->clear();
    for (const char* item : {"GPIO_0", "GPIO_1", "GPIO_2", "GPIO_3"})
        m_comboGpioNumber->addItem(QString::fromLatin1(item));
    m_comboGpioNumber->setCurrentIndex(m_nGpioPin);
    m_comboGpioDirection->clear();
    for (const char* item : {"INPUT", "OUTPUT"})
        m_comboGpioDirection->addItem(QString::fromLatin1(item));
    m_comboGpioDirection->setCurrentIndex(m_nGpioDirection);

    const struct
    {
        CHexEdit* Edit;
        uint32_t Value;
        uint8_t WidthCode;
        int Limit;
    } defaults[] = {
        {m_hexGpioValue, 0, 0, 2},           {m_hexIicAddr, 0x90, 0, 2},
        {m_hexIicRetCode, 0, 0, 2},          {m_hexIicData, 0x0F00, 1, 4},
        {m_hexRegAddr, 0x03FF0000, 2, 8},    {m_hexRegValue, 0xF6000000, 2, 8},
    };
    for (const auto& field : defaults) {
        field.Edit->SetValue(field.Value, true, field.WidthCode);
        field.Edit->setMaxLength(field.Limit);
    }

    m_pStaticTotal = Static(1012);
    m_pStaticCurrent = Static(1011);
    m_pStaticStatus = Static(1010);
    m_pStaticTotal->setText(QStringLiteral("0"));
    m_pStaticCurrent->setText(QStringLiteral("0"));
    m_pStaticStatus->setText(QString::fromLatin1(kStatusWait));

    m_btnBurnBrowse->setEnabled(true);
    m_btnDumpBrowse->setEnabled(true);
    m_btnGetFwVer->setEnabled(true);
    m_btnGetHdmiInfo->setEnabled(true);

    char line[kDeviceLineSize];
    m_session.FormatDeviceLine(deviceIndex, line, sizeof line);
    m_editDeviceInfo->setText(QString::fromLatin1(line));
    m_editDeviceInfo->setCursorPosition(0);

    // Without its three output report slots the device cannot carry the
    // tool's commands: "Open Device" stays enabled for another try.
    if (result == OpenDeviceResult::OpenedWithoutBuffers)
        return;
    m_btnOpenDevice->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Peripheral panel

void Cred_ode_velmorDlg::OnWrite()
{
    if (!CheckDeviceCommands())
        return;
    if (m_pRadioIic->isChecked()) {
        const auto address = static_cast<uint8_t>(ParseField(m_hexIicAddr) & 0xFF);
        const uint32_t iicData = ParseField(m_hexIicData) & 0xFFFF;
        uint8_t bytes[2] = {static_cast<uint8_t>(iicData >> 8), static_cast<uint8_t>(iicData & 0xFF)};
        if (!m_session.IicAccess(OP_IIC_WRITE, address, 2, bytes, 0)) {
            ReportCommandFailure();
            return;
        }
        m_hexIicRetCode->setText(Hex2(bytes[0]));
    } else if (m_pRadioGpio->isChecked()) {
        TakeSelection(m_comboGpioNumber, m_nGpioPin);
        auto level = static_cast<uint8_t>(ParseField(m_hexGpioValue) & 0xFF);
        if (!m_session.GpioAccess(OP_GPIO_WRITE, m_nGpioPin, &level))
            ReportCommandFailure();
    } else {
        const uint32_t address = ParseField(m_hexRegAddr);
        uint32_t value = ParseField(m_hexRegValue);
        if (!m_session.RegisterAccess(OP_REG_WRITE, address, &value))
            ReportCommandFailure();
    }
}

void Cred_ode_velmorDlg::OnRead()
{
    if (!CheckDeviceCommands())
        return;
    if (m_pRadioIic->isChecked()) {
        const auto address = static_cast<uint8_t>(ParseField(m_hexIicAddr) & 0xFF);
        uint8_t bytes[2] = {static_cast<uint8_t>(ParseField(m_hexIicData) & 0xFF), 0};
        if (!m_session.IicAccess(OP_IIC_READ, address, 1, bytes, 1)) {
            ReportCommandFailure();
            return;
        }
        m_hexIicRetCode->setText(Hex2(bytes[0]));
        m_hexIicData->setText(Hex2(bytes[1]));
    } else if (m_pRadioGpio->isChecked()) {
        TakeSelection(m_comboGpioNumber, m_nGpioPin);
        uint8_t level = 0;
        if (!m_session.GpioAccess(OP_GPIO_READ, m_nGpioPin, &level)) {
            ReportCommandFailure();
            return;
        }
        m_hexGpioValue->setText(Hex2(level));
    } else {
        uint32_t value = 0;
        if (!m_session.RegisterAccess(OP_REG_READ, ParseField(m_hexRegAddr), &value)) {
            ReportCommandFailure();
            return;
        }
        m_hexRegValue->setText(QString::asprintf("%08x", value));
    }
}

void Cred_ode_velmorDlg::OnSetGpio()
{
    if (!CheckDeviceOpened())
        return;
    if (!m_pRadioGpio->isChecked()) {
        ShowError(QString::fromUtf8(kSelectGpioMode));
        return;
    }
    if (!CheckDeviceCommands())
        return;
    TakeSelection(m_comboGpioNumber, m_nGpioPin);
    TakeSelection(m_comboGpioDirection, m_nGpioDirection);
    uint8_t direction = m_nGpioDirection;
    if (!m_session.GpioAccess(OP_GPIO_SET, m_nGpioPin, &direction))
        ReportCommandFailure();
}

// ---------------------------------------------------------------------------
// Device information

void Cred_ode_velmorDlg::OnGetFwVer()
{
    if (!CheckDeviceCommands())
        return;
    char version[kFirmwareVersionTextSize];
    if (!m_session.GetFirmwareVersion(version)) {
        ReportCommandFailure();   // the field keeps its text
        return;
    }
    m_hexFwVersion->setText(QString::fromLatin1(version));
}

void Cred_ode_velmorDlg::OnGetHdmiInfo()
{
    if (!CheckDeviceCommands())
        return;
    char text[kHdmiInfoTextSize];
    bool requestOk = false;
    if (!m_session.GetHdmiInfo(text, &requestOk)) {
        ShowError(QString::fromUtf8(kCannotCarryCommands));
        return;
    }
    // After a refused request the receive buffer holds an older answer, not
    // HDMI information: the field keeps what it showed.
    if (!requestOk) {
        ReportCommandFailure();
        return;
    }
    m_editHdmiInfo->setText(QString::fromLatin1(text));
    m_editHdmiInfo->setCursorPosition(0);
}

void Cred_ode_velmorDlg::OnTest()
{
    if (!m_session.CanRunCommands())
        return;
    uint8_t drm[kDrmInfoLength];
    bool requestOk = false;
    m_session.GetDrmInfo(drm, &requestOk);
}

// ---------------------------------------------------------------------------
// Flash: identification, files, burn and dump

void Cred_ode_velmorDlg::OnGetId()
{
    if (m_bWorkerRunning || !CheckDeviceCommands())
        return;
    FlashIdTexts texts{};
    const GetIdResult result = m_programmer.GetId(&texts);
    switch (result) {
    case GetIdResult::NoDevice:
        ShowError(QString::fromUtf8(kNoDevice));
        return;
    case GetIdResult::Busy:
        ShowError(QString::fromUtf8(kBusy));
        return;
    case GetIdResult::RequestFailed:
    case GetIdResult::UnknownChip:
    case GetIdResult::Identified:
        break;
    }
    const std::pair<int, const char*> fields[] = {
        {1018, texts.DeviceName}, {1019, texts.PageSize},       {1020, texts.SectorSize},
        {1021, texts.TotalBlock}, {1028, texts.DeviceId},       {1029, texts.PagesPerSector},
        {1030, texts.SectorsPerBlock}, {1031, texts.TotalSize},
    };
    for (const auto& [id, text] : fields)
        Static(id)->setText(QString::fromUtf8(text));
    if (result == GetIdResult::RequestFailed)
        ReportCommandFailure();
}

void Cred_ode_velmorDlg::OnBrowseBurnFile()
{
    if (m_bWorkerRunning)
        return;
    const QString path = m_services->GetOpenFileName(this, QString::fromLatin1(kFileFilter));
    if (path.isEmpty())
        return;   // cancelled: the earlier choice stays
    m_editBurnFile->setText(QDir::toNativeSeparators(path));
    char version[32] = "";
    if (!m_programmer.ChooseBurnFile(QFile::encodeName(path).constData(), version, sizeof version)) {
        // Nothing is loaded and an earlier file is closed: neither Burn nor Dump can run.
        m_btnBurn->setEnabled(false);
        m_btnDump->setEnabled(false);
        m_hexImageVersion->clear();
        ShowError(QStringLiteral("The burn file cannot be read:\n%1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    m_btnBurn->setEnabled(true);
    m_btnDump->setEnabled(false);
    m_hexImageVersion->setText(QString::fromLatin1(version));
}

void Cred_ode_velmorDlg::OnBrowseDumpFile()
{
    if (m_bWorkerRunning)
        return;
    const QString path = m_services->GetSaveFileName(this, QString::fromLatin1(kFileFilter));
    if (path.isEmpty())
        return;
    m_editDumpFile->setText(QDir::toNativeSeparators(path));
    // The file is created, or emptied, now.
    if (!m_programmer.ChooseDumpFile(QFile::encodeName(path).constData())) {
        m_btnBurn->setEnabled(false);
        m_btnDump->setEnabled(false);
        ShowError(QStringLiteral("The dump file cannot be created:\n%1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    m_btnDump->setEnabled(true);
    m_btnBurn->setEnabled(false);
}

void Cred_ode_velmorDlg::OnBurn()
{
    StartWorker(true);
}

void Cred_ode_velmorDlg::OnDump()
{
    StartWorker(false);
}

void Cred_ode_velmorDlg::StartWorker(bool burn)
{
    if (m_bWorkerRunning)
        return;
    m_nWorkerProblems = 0;
    m_bWorkerIsBurn = burn;
    switch (burn ? m_programmer.StartBurn() : m_programmer.StartDump()) {
    case StartResult::Started:
        EnterWorkerState();
        break;
    case StartResult::Busy:
        ShowError(QString::fromUtf8(kBusy));
        break;
    case StartResult::ThreadFailed:
        ShowError(burn ? QStringLiteral("The burn could not be started. Nothing was written.")
                       : QStringLiteral("The dump could not be started."));
        break;
    case StartResult::NoFile:
    case StartResult::NotIdentified:
    case StartResult::BadImage:
        break;   // the programmer has said why
    }
}

void Cred_ode_velmorDlg::OnEntireFlash()
{
    if (m_pRadioEntireFlash && m_pRadioEntireFlash->isChecked())
        EnableAreaChecks(false);
}

void Cred_ode_velmorDlg::OnOtherArea()
{
    if (m_pRadioOtherArea && m_pRadioOtherArea->isChecked())
        EnableAreaChecks(true);
}

void Cred_ode_velmorDlg::EnableAreaChecks(bool enable)
{
    for (QCheckBox* check : {m_chkFirmware, m_chkPrivateData, m_chkCustomizedData}) {
        if (check)
            check->setEnabled(enable);
    }
}

void Cred_ode_velmorDlg::UpdateAreaSnapshot()
{
    m_bEntireFlashChecked.store(m_pRadioEntireFlash && m_pRadioEntireFlash->isChecked());
    m_bOtherAreaChecked.store(m_pRadioOtherArea && m_pRadioOtherArea->isChecked());
    const QCheckBox* checks[3] = {m_chkFirmware, m_chkPrivateData, m_chkCustomizedData};
    for (int row = 0; row < 3; ++row)
        m_bAreaTicked[row].store(checks[row] && checks[row]->isChecked());
}

bool Cred_ode_velmorDlg::IsAreaTicked(int areaRow)
{
    return areaRow >= 0 && areaRow < 3 && m_bAreaTicked[areaRow].load();
}

// ---------------------------------------------------------------------------
// While a worker runs

void Cred_ode_velmorDlg::EnterWorkerState()
{
    m_bWorkerRunning = true;
    m_savedEnabled.clear();
    for (int id : kDeviceButtonIds) {
        QWidget* control = ControlById(id);
        m_savedEnabled.emplace_back(control, control->isEnabled());
        control->setEnabled(false);
    }
}

void Cred_ode_velmorDlg::LeaveWorkerState()
{
    for (const auto& [control, enabled] : m_savedEnabled) {
        if (control)
            control->setEnabled(enabled);
    }
    m_savedEnabled.clear();
    m_bWorkerRunning = false;
}

void Cred_ode_velmorDlg::FinishWorker(bool burn)
{
    // The worker is at its last step and waits for nothing: take its thread back.
    m_programmer.WaitForWorker();
    const bool wasRunning = m_bWorkerRunning;
    if (wasRunning)
        LeaveWorkerState();
    (burn ? m_btnBurn : m_btnDump)->setEnabled(false);
    if (m_pStaticStatus)
        m_pStaticStatus->setText(QString::fromLatin1(kStatusWait));
    if (wasRunning && m_nWorkerProblems == 0)
        ReportUnfinishedWork(burn);
}

// A worker that ended early without a word (a request the device refused, a
// device that went away) must not look like one that finished.
void Cred_ode_velmorDlg::ReportUnfinishedWork(bool burn)
{
    if (burn) {
        const BurnOutcome outcome = m_programmer.LastBurn();
        if (!outcome.Started || outcome.Succeeded())
            return;
        m_services->ShowModelessMessage(
            QStringLiteral("The burn has not completed: the device did not accept every request.\n"
                           "Check the device and burn the file again before you unplug it."),
            QStringLiteral("Error"), MessageIcon::Error);
    } else {
        const DumpOutcome outcome = m_programmer.LastDump();
        if (!outcome.Started || outcome.Succeeded)
            return;
        m_services->ShowModelessMessage(
            QStringLiteral("The dump has not completed: %1 of %2 bytes were read into the file.")
                .arg(outcome.BytesWritten)
                .arg(outcome.Total),
            QStringLiteral("Error"), MessageIcon::Error);
    }
}

// ---------------------------------------------------------------------------
// CWorkerFrontEnd

void Cred_ode_velmorDlg::ShowMessage(const char* text, const char* caption, MessageIcon icon)
{
    const bool fromWorker = QThread::currentThread() != thread();
    Post([this, text = QString::fromUtf8(text), caption = QString::fromUtf8(caption), icon,
          fromWorker]() { DeliverMessage(text, caption, icon, fromWorker); });
}

void Cred_ode_velmorDlg::SetStatusText(const char* text)
{
    Post([this, text = QString::fromUtf8(text)]() {
        if (m_pStaticStatus)
            m_pStaticStatus->setText(text);
    });
}

void Cred_ode_velmorDlg::SetTotalText(const char* text)
{
    Post([this, text = QString::fromUtf8(text)]() {
        if (m_pStaticTotal)
            m_pStaticTotal->setText(text);
    });
}

void Cred_ode_velmorDlg::SetCurrentText(const char* text)
{
    Post([this, text = QString::fromUtf8(text)]() {
        if (m_pStaticCurrent)
            m_pStaticCurrent->setText(text);
    });
}

void Cred_ode_velmorDlg::SetProgressRange(uint32_t total)
{
    Post([this, total]() {
        m_nProgressShift = 0;
        while ((total >> m_nProgressShift) > static_cast<uint32_t>(INT_MAX))
            ++m_nProgressShift;
        // A range of 0..0 would make the bar a busy indicator.
        m_progress->setRange(0, std::max(1, static_cast<int>(total >> m_nProgressShift)));
    });
}

void Cred_ode_velmorDlg::SetProgressPos(uint32_t position)
{
    Post([this, position]() {
        m_progress->setValue(static_cast<int>(
            std::min<uint32_t>(position >> m_nProgressShift, static_cast<uint32_t>(INT_MAX))));
    });
}

void Cred_ode_velmorDlg::OnWorkerFinished(bool burn)
{
    // Also called on this thread when a burn is refused before it starts:
    // handled after the refusal, like every other call of the worker.
    Post([this, burn]() { FinishWorker(burn); });
}
