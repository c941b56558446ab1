// The dialog as a window: controls and layout, start state, the stored Burn
// Area choice, the About box, the icon and the command line.
#include "AppTestSupport.h"

#include "AboutDlg.h"
#include "AppIcon.h"
#include "AppOptions.h"
#include "DialogTemplate.h"
#include "HexEdit.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <set>

namespace {

using WindowTest = AppTest;

// The text a control shows, whatever its kind.
QString ShownText(QWidget* control)
{
    if (auto* box = qobject_cast<QGroupBox*>(control))
        return box->title();
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    return QString();
}

bool IsKind(QWidget* control, DialogItemKind kind)
{
    switch (kind) {
    case DialogItemKind::DefPushButton:
        return qobject_cast<QPushButton*>(control) && qobject_cast<QPushButton*>(control)->isDefault();
    case DialogItemKind::PushButton:
        return qobject_cast<QPushButton*>(control) && !qobject_cast<QPushButton*>(control)->isDefault();
    case DialogItemKind::Static:
    case DialogItemKind::Icon: return qobject_cast<QLabel*>(control);
    case DialogItemKind::GroupBox: return qobject_cast<QGroupBox*>(control);
    case DialogItemKind::Edit: return qobject_cast<QLineEdit*>(control);
    case DialogItemKind::AutoRadioButton: return qobject_cast<QRadioButton*>(control);
    case DialogItemKind::AutoCheckBox: return qobject_cast<QCheckBox*>(control);
    case DialogItemKind::ProgressBar: return qobject_cast<QProgressBar*>(control);
    case DialogItemKind::DropDownCombo:
        return qobject_cast<QComboBox*>(control) && qobject_cast<QComboBox*>(control)->isEditable();
    }
    return false;
}

TEST_F(WindowTest, EveryControlOfTheTemplateIsThereWithItsKindTextAndPlace)
{
    Cred_ode_velmorDlg& dlg = Dialog();
    EXPECT_EQ(dlg.windowTitle(), "Pellaro Update tool");
    const QSize fontBase = DialogBaseUnits(dlg.font());
    const QSizeF base = LayoutBaseUnits(&dlg, g_mainDialogTemplate, dlg.Controls());
    EXPECT_GE(base.width(), fontBase.width());
    EXPECT_LE(base.width(), fontBase.width() * 1.5);
    EXPECT_EQ(base.height(), fontBase.height());
    EXPECT_EQ(dlg.size(), MapDialogRect(QRect(0, 0, 332, 358), base).size());

    ASSERT_EQ(g_mainDialogTemplate.Count, 79u);
    for (size_t i = 0; i < g_mainDialogTemplate.Count; ++i) {
        const DialogItem& item = g_mainDialogTemplate.Items[i];
        SCOPED_TRACE(testing::Message() << "item " << i << " id " << item.Id);
        QWidget* control = dlg.ControlAt(i);
        ASSERT_TRUE(control);
        if (item.Id != IDC_STATIC) {
            EXPECT_EQ(dlg.ControlById(item.Id), control);
            EXPECT_EQ(control->objectName(), QString("ctl%1").arg(item.Id));
        }
        EXPECT_EQ(dlg.findChild<QWidget*>(control->objectName()), control);
        EXPECT_TRUE(IsKind(control, item.Kind));
        // Edits start empty; texts set by the dialog at start are checked elsewhere.
        if (item.Kind != DialogItemKind::Edit && item.Id != 1010 && item.Id != 1011 && item.Id != 1012) {
            EXPECT_EQ(ShownText(control), QString::fromUtf8(item.Text));
        }
        if (item.Kind != DialogItemKind::DropDownCombo) {
            EXPECT_EQ(control->geometry(),
                      MapDialogRect(QRect(item.X, item.Y, item.Width, item.Height), base));
        }
        // Labels show their whole text in the dialog's font.
        if (item.Kind == DialogItemKind::Static && item.Id == IDC_STATIC) {
            EXPECT_LE(control->fontMetrics().horizontalAdvance(QString::fromUtf8(item.Text)),
                      control->width());
        }
    }
    // Blanks and the doubled ampersand are kept as the template has them.
    EXPECT_EQ(ShownText(dlg.ControlAt(32)), "Device ID            :");
    EXPECT_EQ(ShownText(dlg.ControlAt(58)), "Peripheral Read && Write");
    EXPECT_EQ(Text(1010), "Static");
    EXPECT_TRUE(Ctl<QLineEdit>(1001)->isReadOnly());
    EXPECT_TRUE(Ctl<QLineEdit>(1052)->isReadOnly());
    EXPECT_EQ(Ctl<QLineEdit>(1005)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(Ctl<QLineEdit>(1025)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_TRUE(qobject_cast<CHexEdit*>(dlg.ControlById(1004)));
    EXPECT_FALSE(qobject_cast<CHexEdit*>(dlg.ControlById(1007)));
}

TEST_F(WindowTest, LayoutFollowsTheFontAndStaysWhenTheWindowIsResized)
{
    Cred_ode_velmorDlg& dlg = Dialog();
    QWidget* openDevice = dlg.ControlById(1027);
    const QRect before = openDevice->geometry();
    dlg.resize(dlg.width() + 120, dlg.height() + 80);
    QCoreApplication::processEvents();
    EXPECT_EQ(openDevice->geometry(), before);

    const QSize smallSize = MapDialogRect(QRect(0, 0, 332, 358),
                                          LayoutBaseUnits(&dlg, g_mainDialogTemplate, dlg.Controls()))
                                .size();
    QFont larger = dlg.font();
    larger.setPointSizeF(larger.pointSizeF() * 2);
    dlg.setFont(larger);
    QCoreApplication::processEvents();
    const QSizeF base = LayoutBaseUnits(&dlg, g_mainDialogTemplate, dlg.Controls());
    EXPECT_EQ(openDevice->geometry(), MapDialogRect(QRect(196, 9, 50, 14), base));
    EXPECT_EQ(dlg.size(), MapDialogRect(QRect(0, 0, 332, 358), base).size());
    // Twice the font, about twice the dialog.
    EXPECT_NEAR(dlg.width() / double(smallSize.width()), 2.0, 0.25);
    EXPECT_NEAR(dlg.height() / double(smallSize.height()), 2.0, 0.25);
}

TEST_F(WindowTest, TabOrderAndRadioGroupsFollowTheTemplate)
{
    Cred_ode_velmorDlg& dlg = Dialog();
    std::vector<QWidget*> expected;
    std::set<QWidget*> controls;
    for (size_t i = 0; i < g_mainDialogTemplate.Count; ++i) {
        controls.insert(dlg.ControlAt(i));
        if (g_mainDialogTemplate.Items[i].Style & kItemTabStop)
            expected.push_back(dlg.ControlAt(i));
    }
    std::vector<QWidget*> chain;
    QWidget* first = dlg.ControlById(1);
    QWidget* w = first;
    do {
        if (controls.count(w) && (w->focusPolicy() & Qt::TabFocus))
            chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w && w != first);
    EXPECT_EQ(chain, expected);
    EXPECT_EQ(dlg.focusWidget(), first);   // "OK" has the focus at start

    ASSERT_EQ(dlg.RadioGroups().size(), 2u);
    EXPECT_EQ(dlg.RadioGroups()[0]->buttons().size(), 2);
    EXPECT_EQ(dlg.RadioGroups()[0]->id(dlg.RadioGroups()[0]->buttons()[0]), 1032);
    EXPECT_EQ(dlg.RadioGroups()[1]->buttons().size(), 3);
    Click(1044);
    Click(1046);
    EXPECT_TRUE(Ctl<QRadioButton>(1046)->isChecked());
    EXPECT_FALSE(Ctl<QRadioButton>(1044)->isChecked());
    EXPECT_TRUE(Ctl<QRadioButton>(1032)->isChecked());   // the other group is untouched
}

TEST_F(WindowTest, StartState)
{
    Dialog();
    EXPECT_EQ(Text(1025), "32ED");
    EXPECT_EQ(Text(1026), "3200");
    EXPECT_EQ(Ctl<QLineEdit>(1025)->maxLength(), 4);
    EXPECT_EQ(Ctl<QLineEdit>(1026)->maxLength(), 4);
    for (int id : {1008, 1015, 1016, 1017, 1042, 1043})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {1, 1027, 1003, 1006, 1051, 1014})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(Ctl(1053)->isHidden());
    for (int id : {1044, 1045, 1046})
        EXPECT_FALSE(Ctl<QRadioButton>(id)->isChecked()) << id;
    // First run: "Entire Flash", the area boxes disabled and unticked.
    EXPECT_TRUE(Ctl<QRadioButton>(1032)->isChecked());
    EXPECT_FALSE(Ctl<QRadioButton>(1033)->isChecked());
    for (int id : {1034, 1035, 1036}) {
        EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_FALSE(Ctl<QCheckBox>(id)->isChecked()) << id;
    }
    EXPECT_TRUE(m_services.Messages.empty());
}

TEST_F(WindowTest, BurnAreaComesFromTheLowByteOfTheStoredSetting)
{
    const struct
    {
        QVariant Stored;
        bool Entire;
    } cases[] = {{0, false}, {2, false}, {257, true}, {1, true}, {"garbage", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Stored.toString().toStdString());
        StoreIsAccessAll(c.Stored);
        m_dialog.reset();
        Dialog();
        EXPECT_EQ(Ctl<QRadioButton>(1032)->isChecked(), c.Entire);
        EXPECT_EQ(Ctl<QRadioButton>(1033)->isChecked(), !c.Entire);
        EXPECT_EQ(Ctl<QCheckBox>(1034)->isChecked(), !c.Entire);
        EXPECT_FALSE(Ctl<QCheckBox>(1035)->isChecked());
        EXPECT_FALSE(Ctl<QCheckBox>(1036)->isChecked());
        for (int id : {1034, 1035, 1036})
            EXPECT_EQ(Enabled(id), !c.Entire) << id;
        EXPECT_EQ(m_dialog->IsEntireFlashSelected(), c.Entire);
        EXPECT_EQ(m_dialog->IsAreaTicked(0), !c.Entire);
    }
}

TEST_F(WindowTest, TheRadiosSwitchTheAreaBoxes)
{
    Dialog();
    Click(1033);
    for (int id : {1034, 1035, 1036})
        EXPECT_TRUE(Enabled(id));
    Click(1035);
    EXPECT_TRUE(m_dialog->IsOtherAreaSelected());
    EXPECT_TRUE(m_dialog->IsAreaTicked(1));
    Click(1032);
    for (int id : {1034, 1035, 1036})
        EXPECT_FALSE(Enabled(id));
    EXPECT_TRUE(Ctl<QCheckBox>(1035)->isChecked());   // ticks are kept
}

TEST_F(WindowTest, TheChoiceIsStoredByOkAndEnterOnly)
{
    enum class Leave { OkButton, EnterInField, Escape, CloseBox };
    const struct
    {
        Leave How;
        bool Stored;
        int Result;
    } cases[] = {{Leave::OkButton, true, QDialog::Accepted},
                 {Leave::EnterInField, true, QDialog::Accepted},
                 {Leave::Escape, false, QDialog::Rejected},
                 {Leave::CloseBox, false, QDialog::Rejected}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.How));
        QFile::remove(StoredSettingsPath());
        m_dialog.reset();
        Cred_ode_velmorDlg& dlg = Dialog();
        Click(1033);
        switch (c.How) {
        case Leave::OkButton: Click(1); break;
        case Leave::EnterInField: QTest::keyClick(Ctl(1025), Qt::Key_Return); break;
        case Leave::Escape: QTest::keyClick(Ctl(1026), Qt::Key_Escape); break;
        case Leave::CloseBox: dlg.close(); break;
        }
        QCoreApplication::processEvents();
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), c.Result);
        EXPECT_EQ(StoredIsAccessAll().isValid(), c.Stored);
        if (c.Stored) {
            EXPECT_EQ(StoredIsAccessAll().toInt(), 0);
        }
        EXPECT_TRUE(m_services.Messages.empty());
    }
    // Enter right after start closes with "Entire Flash" stored.
    m_dialog.reset();
    Cred_ode_velmorDlg& dlg = Dialog();
    QTest::keyClick(dlg.focusWidget(), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(StoredIsAccessAll().toInt(), 1);
}

TEST_F(WindowTest, SystemCommandsOfTheAboutEntryOpenTheAboutBox)
{
    Cred_ode_velmorDlg& dlg = Dialog();
    ASSERT_TRUE(dlg.AboutAction());
    EXPECT_EQ(dlg.AboutAction()->text(), "&About  RIZ Adad...");
    EXPECT_EQ(dlg.AboutAction()->data().toUInt(), IDM_ABOUTBOX);

    const auto opensAbout = [&dlg](const std::function<void()>& command) {
        QString title;
        QSize size;
        QTimer::singleShot(0, [&]() {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                title = modal->windowTitle();
                size = modal->size();
                modal->close();
            }
        });
        command();
        QCoreApplication::processEvents();
        if (!title.isEmpty()) {
            const QSize units = MapDialogRect(QRect(0, 0, 170, 62), DialogBaseUnits(dlg.font())).size();
            EXPECT_GE(size.width(), units.width());
            EXPECT_EQ(size.height(), units.height());
        }
        return title;
    };
    EXPECT_EQ(opensAbout([&]() { dlg.OnSysCommand(0x0010); }), "About RIZ Adad");
    EXPECT_EQ(opensAbout([&]() { dlg.OnSysCommand(0x001F); }), "About RIZ Adad");
    EXPECT_EQ(opensAbout([&]() { dlg.AboutAction()->trigger(); }), "About RIZ Adad");
    EXPECT_EQ(opensAbout([&]() { dlg.OnSysCommand(0x0020); }), "");
}

TEST_F(WindowTest, TheIconComesInEverySize)
{
    const QList<QSize> sizes = Dialog().windowIcon().availableSizes();
    for (int size : {16, 24, 32, 48, 256})
        EXPECT_TRUE(sizes.contains(QSize(size, size))) << size;
    const QImage image = RenderAppIcon(48);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);      // rounded corner
    EXPECT_EQ(image.pixelColor(24, 44).alpha(), 255);  // drawn middle
}

TEST(AppOptionsTest, OptionsAreReadOrRefused)
{
    const struct
    {
        std::vector<const char*> Args;
        bool SkipOthers;
        bool Ok;
    } cases[] = {
        {{"--sim-chip", "5", "--sim"}, false, true},
        {{"--version"}, false, true},
        {{"--help"}, false, true},
        {{"--bogus"}, false, false},
        {{"--bogus", "-platform", "offscreen"}, true, true},
        {{"--sim-chip", "44"}, true, false},
        {{"--write-icons"}, true, false},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"pellaro-update"};
        argv.insert(argv.end(), c.Args.begin(), c.Args.end());
        AppOptions options;
        std::string error;
        EXPECT_EQ(ParseAppOptions(static_cast<int>(argv.size()), argv.data(), options, error, c.SkipOthers),
                  c.Ok)
            << c.Args[0];
        EXPECT_EQ(error.empty(), c.Ok) << error;
    }
    AppOptions options;
    std::string error;
    const char* argv[] = {"pellaro-update", "--sim-chip=12", "--sim-flash", "/tmp/f.bin"};
    ASSERT_TRUE(ParseAppOptions(4, argv, options, error, false));
    EXPECT_TRUE(options.Sim.Enabled);
    EXPECT_EQ(options.Sim.ChipRow, 12u);
    EXPECT_EQ(options.Sim.FlashFile, "/tmp/f.bin");
}

TEST(AppExecutableTest, VersionHelpAndBadOptions)
{
    const auto run = [](const QStringList& args, QString* out) {
        QProcess process;
        process.start(PELLARO_UPDATE_EXE, args);
        EXPECT_TRUE(process.waitForFinished(20000));
        *out = QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
        return process.exitCode();
    };
    QString out;
    EXPECT_EQ(run({"--version"}, &out), 0);
    EXPECT_EQ(out, "Pellaro Update Tool 1.0.5.0\n");
    EXPECT_EQ(run({"--help"}, &out), 0);
    EXPECT_TRUE(out.contains("--sim-chip N")) << out.toStdString();
    EXPECT_EQ(run({"--sim-chip", "99"}, &out), 2);
    EXPECT_TRUE(out.contains("--sim-chip")) << out.toStdString();

    QTemporaryDir icons;
    EXPECT_EQ(run({"--write-icons", icons.path()}, &out), 0);
    for (int size : {16, 24, 32, 48, 256}) {
        QImage image(QString("%1/%2x%2/apps/pellaro-update.png").arg(icons.path()).arg(size));
        EXPECT_EQ(image.size(), QSize(size, size));
    }
}

} // namespace
