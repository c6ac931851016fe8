#include "BuildInfo.h"
#include "CommandLine.h"
#include "MainWindow.h"
#include "MidiTestSupport.h"
#include "NandGeometry.h"
#include "PortChoice.h"
#include "Startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QResource>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>
#include <QVariant>

#include <algorithm>

#include <memory>
#include <vector>

namespace {

const Bytes identify{0xF0, 0x00, 0x11, 0x22, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
const Bytes deviceInfo{
    0xF0, 0x00, 0x11, 0x22, 0x0A, 0x15, 0x4D, 0x0B, 0x00, 0x20, 0x05, 0x02, 0x56, 0x31, 0x7F, 0xF7};
const Bytes otherDeviceInfo{
    0xF0, 0x00, 0x11, 0x22, 0x0A, 0x01, 0x00, 0x00, 0x00, 0x20, 0x03, 0x04, 0x00, 0xF7};

// Widgets of the window, in the order the form creates them.
struct WidgetRow
{
    const char *name;
    const char *className;
    const char *parent;
    QRect geometry;
    const char *text;
};

const std::vector<WidgetRow> form = {
    {"centralwidget", "QWidget", "MainWindow", QRect(), ""},
    {"groupBox", "QGroupBox", "centralwidget", QRect(10, 230, 171, 81), "Tavrin information"},
    {"SnEdit", "QLineEdit", "groupBox", QRect(70, 20, 91, 21), ""},
    {"label", "QLabel", "groupBox", QRect(10, 20, 51, 21), "SN:"},
    {"VersionEdit", "QLineEdit", "groupBox", QRect(70, 50, 91, 21), ""},
    {"label_2", "QLabel", "groupBox", QRect(10, 50, 51, 21), "Version:"},
    {"groupBox_3", "QGroupBox", "centralwidget", QRect(10, 90, 251, 131), "MIDI IN port"},
    {"MidiInList", "QListWidget", "groupBox_3", QRect(10, 20, 231, 101), ""},
    {"groupBox_4", "QGroupBox", "centralwidget", QRect(270, 90, 241, 131), "MIDI OUT port"},
    {"MidiOutList", "QListWidget", "groupBox_4", QRect(10, 20, 221, 101), ""},
    {"ConnectButton", "QPushButton", "centralwidget", QRect(200, 240, 75, 23), "Connect"},
    {"TryConText", "QLabel", "centralwidget", QRect(370, 240, 91, 21), "try to connect..."},
    {"TransferButton", "QPushButton", "centralwidget", QRect(280, 240, 75, 23), "Transfer"},
    {"VerifyCheckBox", "QCheckBox", "centralwidget", QRect(280, 263, 231, 17), "Verify after writing"},
    {"progressBar", "QProgressBar", "centralwidget", QRect(200, 280, 311, 23), ""},
    {"IconLabel", "QLabel", "centralwidget", QRect(110, 0, 311, 81), "TextLabel"},
    {"LogText", "QPlainTextEdit", "centralwidget", QRect(523, 110, 361, 191), ""},
    {"groupBox_2", "QGroupBox", "centralwidget", QRect(520, 10, 171, 81), "NAND Information"},
    {"label_3", "QLabel", "groupBox_2", QRect(10, 20, 51, 21), "Block:"},
    {"label_4", "QLabel", "groupBox_2", QRect(10, 50, 51, 21), "Page:"},
    {"BlockEdit", "QLineEdit", "groupBox_2", QRect(70, 20, 41, 22), ""},
    {"PageEdit", "QLineEdit", "groupBox_2", QRect(70, 50, 41, 22), ""},
};

QString shownText(QWidget *widget)
{
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    if (auto *log = qobject_cast<QPlainTextEdit *>(widget))
        return log->toPlainText();
    return QString();
}

// The form's widgets below `root` in creation order (each parent keeps its children in that order);
// the widgets that Qt makes inside a list or an editor for itself are left out.
void collectFormWidgets(QObject *root, QStringList &names)
{
    for (QObject *child : root->children()) {
        if (!child->isWidgetType() || child->objectName().isEmpty() || child->objectName().startsWith("qt_"))
            continue;
        names << child->objectName();
        collectFormWidgets(child, names);
    }
}

// Whether a label, button, check box or group box shows its whole text (a button's inside its outline,
// where the bevel still shows it).
bool showsWholeText(QWidget *widget)
{
    const int width = widget->fontMetrics().tightBoundingRect(shownText(widget)).width();
    QStyleOptionButton option;
    option.initFrom(widget);
    if (qobject_cast<QCheckBox *>(widget))
        return width <= widget->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, widget).width();
    if (qobject_cast<QGroupBox *>(widget))
        return widget->minimumSizeHint().width() <= widget->width();
    return width <= widget->width() - (qobject_cast<QPushButton *>(widget) ? 2 : 0);
}

int rowOf(QListWidget *list, const QString &name)
{
    const auto items = list->findItems(name, Qt::MatchExactly);
    return items.isEmpty() ? -1 : list->row(items.first());
}

// An in-process unit that only records; the test answers for it.
class TestUnit : public RecordingDevice
{
public:
    TestUnit()
        : RecordingDevice("Window test unit")
    {
    }

    bool reply(const Bytes &bytes) { return send(bytes.data(), bytes.size()); }
};

// Sets that a control rule leaves alone, so that a test can see that they did not move.
struct Untouched
{
    explicit Untouched(MainWindow &w)
        : blockText(w.BlockEdit->text())
        , pageText(w.PageEdit->text())
        , logText(w.LogText->toPlainText())
        , transferText(w.TransferButton->text())
        , progressMinimum(w.progressBar->minimum())
        , progressMaximum(w.progressBar->maximum())
        , progressValue(w.progressBar->value())
    {
    }

    bool operator==(const Untouched &o) const
    {
        return blockText == o.blockText && pageText == o.pageText && logText == o.logText
            && transferText == o.transferText && progressMinimum == o.progressMinimum
            && progressMaximum == o.progressMaximum && progressValue == o.progressValue;
    }

    QString blockText, pageText, logText, transferText;
    int progressMinimum, progressMaximum, progressValue;
};

// Settings live in a directory of the test's own, never in the user's.
class SettingsSandbox : public testing::Environment
{
public:
    void SetUp() override
    {
        ASSERT_TRUE(directory.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(directory.path()));
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, directory.path());
            QSettings::setPath(format, QSettings::SystemScope, directory.path() + QStringLiteral("/system"));
        }
        Startup::prepareApplication();
        Startup::fitFontToForm();
        QApplication::setQuitOnLastWindowClosed(false);
    }

    QTemporaryDir directory;
};

testing::Environment *const sandbox = testing::AddGlobalTestEnvironment(new SettingsSandbox);

// ---- The form -------------------------------------------------------------------------------------

TEST(WindowForm, EveryWidgetHasItsClassParentGeometryAndText)
{
    MainWindow window;
    for (const WidgetRow &row : form) {
        SCOPED_TRACE(row.name);
        auto *widget = window.findChild<QWidget *>(QString::fromLatin1(row.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.className);
        EXPECT_EQ(widget->parent()->objectName(), QString::fromLatin1(row.parent));
        if (!row.geometry.isNull()) {
            EXPECT_EQ(widget->geometry(), row.geometry);
        }
        EXPECT_EQ(shownText(widget), QString::fromUtf8(row.text));
        EXPECT_TRUE(showsWholeText(widget));
    }
}

TEST(WindowForm, WidgetsAreCreatedInTheOrderOfTheForm)
{
    MainWindow window;
    QStringList expected;
    for (const WidgetRow &row : form)
        expected << QString::fromLatin1(row.name);
    QStringList created;
    collectFormWidgets(&window, created);
    EXPECT_EQ(created.join(' ').toStdString(), expected.join(' ').toStdString());
}

TEST(WindowForm, WindowHasItsTitleSizeAndFixedPolicyAndNoBars)
{
    MainWindow window;
    EXPECT_EQ(window.objectName(), "MainWindow");
    EXPECT_EQ(window.windowTitle(), "Tavrin Update");
    EXPECT_EQ(window.size(), QSize(900, 322));
    EXPECT_EQ(window.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(window.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(window.sizePolicy().horizontalStretch(), 0);
    EXPECT_EQ(window.sizePolicy().verticalStretch(), 0);
    EXPECT_EQ(window.findChild<QMenuBar *>(), nullptr);
    EXPECT_EQ(window.findChild<QStatusBar *>(), nullptr);
    EXPECT_EQ(window.findChild<QToolBar *>(), nullptr);
}

TEST(WindowForm, ObjectNameIsGivenOnlyToAWindowWithoutOne)
{
    struct Case
    {
        const char *before;
        const char *after;
    };
    for (const Case &c : {Case{"", "MainWindow"}, Case{"UpdaterWindow", "UpdaterWindow"}}) {
        QMainWindow window;
        window.setObjectName(QString::fromLatin1(c.before));
        Ui_MainWindow ui;
        ui.setupUi(&window);
        EXPECT_EQ(window.objectName(), QString::fromLatin1(c.after));
    }
}

TEST(WindowForm, OnlyTheSerialAndVersionFieldsUseTheSmallFont)
{
    MainWindow window;
    for (QWidget *edit :
        {static_cast<QWidget *>(window.SnEdit), static_cast<QWidget *>(window.VersionEdit)}) {
        QFont expected = QApplication::font(edit);
        expected.setPointSize(8);
        EXPECT_EQ(edit->font(), expected) << edit->objectName().toStdString();
    }
    for (QWidget *other : {static_cast<QWidget *>(window.BlockEdit), static_cast<QWidget *>(window.PageEdit),
             static_cast<QWidget *>(window.label), static_cast<QWidget *>(window.LogText)})
        EXPECT_EQ(other->font(), QApplication::font(other)) << other->objectName().toStdString();
    EXPECT_EQ(window.SnEdit->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    EXPECT_EQ(window.SnEdit->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
}

// scripts/screenshot-window.sh records in each picture of the README the hash of the form it shows.
TEST(WindowForm, ReadmePicturesShowTheCurrentForm)
{
    QFile form(QStringLiteral(TAVRIN_SOURCE_DIR "/app/MainWindow.ui"));
    ASSERT_TRUE(form.open(QIODevice::ReadOnly));
    const QString hash = QCryptographicHash::hash(form.readAll(), QCryptographicHash::Sha256).toHex();
    for (const char *picture : {"docs/window.png", "docs/window-qt6.png"}) {
        const QImage shown(QStringLiteral(TAVRIN_SOURCE_DIR "/") + picture);
        EXPECT_EQ(shown.text(QStringLiteral("MainWindow.ui SHA-256")), hash)
            << picture << " shows an older form: make it again with scripts/screenshot-window.sh";
    }
}

TEST(WindowForm, DisplayFieldsRefuseTypingAndTheLogAcceptsIt)
{
    MainWindow window;
    for (QLineEdit *edit : {window.SnEdit, window.VersionEdit, window.BlockEdit, window.PageEdit})
        EXPECT_TRUE(edit->isReadOnly()) << edit->objectName().toStdString();
    EXPECT_FALSE(window.LogText->isReadOnly());
    for (QLabel *label : {window.label, window.label_2, window.label_3, window.label_4}) {
        EXPECT_EQ(label->alignment(), Qt::AlignRight | Qt::AlignVCenter) << label->objectName().toStdString();
        EXPECT_TRUE(label->wordWrap());
    }
    EXPECT_FALSE(window.IconLabel->hasScaledContents());
    EXPECT_EQ(window.MidiInList->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(window.MidiOutList->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST(WindowForm, BeforeInitTheFormShowsItsLayoutState)
{
    MainWindow window;
    EXPECT_EQ(window.progressBar->value(), 24);
    EXPECT_EQ(window.progressBar->minimum(), 0);
    EXPECT_EQ(window.progressBar->maximum(), 100);
    EXPECT_FALSE(window.TryConText->isHidden());
    EXPECT_EQ(window.IconLabel->text(), "TextLabel");
    EXPECT_EQ(window.TransferButton->text(), "Transfer");
    EXPECT_TRUE(window.engine.imageData.isNull());
}

TEST(WindowForm, InitPreparesControlsPictureAndTimer)
{
    MainWindow window;
    window.init();
    EXPECT_EQ(window.TransferButton->text(), "Update");
    EXPECT_FALSE(window.TransferButton->isEnabled());
    EXPECT_TRUE(window.ConnectButton->isEnabled());
    EXPECT_TRUE(window.progressBar->isHidden());
    EXPECT_TRUE(window.TryConText->isHidden());
    EXPECT_EQ(window.IconLabel->pixmap(Qt::ReturnByValue).size(), QSize(320, 87));
    EXPECT_EQ(window.IconLabel->text(), "");
    EXPECT_EQ(window.connectionState, Disconnected);
    EXPECT_EQ(window.engine.phase, Idle);
    EXPECT_EQ(window.engine.timeoutTicks, 25);
    EXPECT_EQ(window.engine.retryCount, 0);
    EXPECT_EQ(window.selectedInputRow, 0);
    EXPECT_EQ(window.selectedOutputRow, 0);
    ASSERT_NE(window.timer, nullptr);
    EXPECT_EQ(window.timer->parent(), &window);
    EXPECT_EQ(window.timer->interval(), 100);
    EXPECT_TRUE(window.timer->isActive());
    EXPECT_FALSE(window.timer->isSingleShot());
    EXPECT_EQ(window.engine.link.port.receiver, &window.engine);
}

TEST(WindowForm, InitMakesTheFirstRowOfEachPortListCurrent)
{
    TestUnit unit;
    MainWindow window;
    window.init();
    ASSERT_GT(window.MidiInList->count(), 0);
    ASSERT_GT(window.MidiOutList->count(), 0);
    EXPECT_EQ(window.MidiInList->currentRow(), 0);
    EXPECT_EQ(window.MidiOutList->currentRow(), 0);
    EXPECT_GE(rowOf(window.MidiInList, "Window test unit"), 0);
    EXPECT_GE(rowOf(window.MidiOutList, "Window test unit"), 0);
}

TEST(WindowForm, PortListsStopAtOneHundredDevices)
{
    std::vector<std::unique_ptr<TestUnit>> units;
    for (int i = 0; i < 120; ++i)
        units.push_back(std::make_unique<TestUnit>());
    MainWindow window;
    window.init();
    EXPECT_EQ(window.MidiInList->count(), 100);
    EXPECT_EQ(window.MidiOutList->count(), 100);
}

// The slot list is what the rest of the program and the meta-object calls rely on.
TEST(WindowForm, MetaObjectOffersTheFourSlotsInOrder)
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    EXPECT_STREQ(meta.className(), "MainWindow");
    EXPECT_EQ(meta.methodCount() - meta.methodOffset(), 4);
    const char *expected[] = {"Connect()", "Transfer()", "close1()", "update()"};
    for (int i = 0; i < 4; ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        EXPECT_EQ(method.methodSignature(), QByteArray(expected[i]));
        EXPECT_EQ(method.methodType(), QMetaMethod::Slot);
        EXPECT_EQ(method.access(), QMetaMethod::Public);
    }
    EXPECT_EQ(meta.propertyCount(), meta.propertyOffset());
    EXPECT_EQ(meta.classInfoCount(), meta.classInfoOffset());
}

// ---- Controls and display operations --------------------------------------------------------------

class WindowControls : public testing::Test
{
protected:
    void SetUp() override
    {
        window.init();
        window.SnEdit->setText("111-222-333");
        window.VersionEdit->setText("1.02");
        window.BlockEdit->setText("7");
        window.PageEdit->setText("12");
    }

    MainWindow window;
};

TEST_F(WindowControls, ControlsFollowTheConnectionState)
{
    struct Case
    {
        int state;
        bool tryConnectShown;
        bool listsEnabled;
        const char *connectText;
        bool transferEnabled;
        const char *serial;
        const char *version;
    };
    const Case cases[] = {
        {Disconnected, false, true, "Connect", false, "", ""},
        {Connecting, true, false, "Disconnect", false, "111-222-333", "1.02"},
        {Connected, false, false, "Disconnect", true, "111-222-333", "1.02"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.state);
        window.SnEdit->setText("111-222-333");
        window.VersionEdit->setText("1.02");
        window.progressBar->show();
        window.ConnectButton->setEnabled(false);
        window.connectionState = c.state;
        const Untouched before(window);
        window.refreshControls();
        EXPECT_EQ(!window.TryConText->isHidden(), c.tryConnectShown);
        EXPECT_TRUE(window.progressBar->isHidden());
        EXPECT_EQ(window.MidiInList->isEnabled(), c.listsEnabled);
        EXPECT_EQ(window.MidiOutList->isEnabled(), c.listsEnabled);
        EXPECT_EQ(window.ConnectButton->text(), QString::fromLatin1(c.connectText));
        EXPECT_TRUE(window.ConnectButton->isEnabled());
        EXPECT_EQ(window.TransferButton->isEnabled(), c.transferEnabled);
        EXPECT_EQ(window.SnEdit->text(), QString::fromLatin1(c.serial));
        EXPECT_EQ(window.VersionEdit->text(), QString::fromLatin1(c.version));
        EXPECT_TRUE(Untouched(window) == before);
    }
}

TEST_F(WindowControls, UnknownConnectionStateChangesNothing)
{
    window.connectionState = 7;
    window.ConnectButton->setText("Connect");
    window.ConnectButton->setEnabled(false);
    window.progressBar->show();
    window.refreshControls();
    EXPECT_FALSE(window.ConnectButton->isEnabled());
    EXPECT_FALSE(window.progressBar->isHidden());
    EXPECT_EQ(window.SnEdit->text(), "111-222-333");
}

TEST_F(WindowControls, VersionShowsLowByteDotHighByteWithTwoDigits)
{
    struct Case
    {
        std::uint32_t value;
        const char *shown;
    };
    const Case cases[] = {{515, "3.02"}, {2561, "1.10"}, {0, "0.00"}, {261, "5.01"}, {16383, "255.63"}};
    for (const Case &c : cases) {
        window.showDeviceInfo(QStringLiteral("909-000-121"), UpdateEngine::versionText(c.value));
        EXPECT_EQ(window.VersionEdit->text(), QString::fromLatin1(c.shown)) << c.value;
        EXPECT_EQ(window.SnEdit->text(), "909-000-121");
    }
}

TEST_F(WindowControls, ProgressDisplayResetsTheBarAndLocksBothButtons)
{
    window.connectionState = Connected;
    window.refreshControls();
    window.progressBar->setRange(5, 10);
    window.progressBar->setValue(7);
    window.showProgress();
    EXPECT_EQ(window.progressBar->minimum(), 0);
    EXPECT_EQ(window.progressBar->maximum(), 880);
    EXPECT_EQ(window.progressBar->value(), 0);
    EXPECT_FALSE(window.progressBar->isHidden());
    EXPECT_FALSE(window.TransferButton->isEnabled());
    EXPECT_FALSE(window.ConnectButton->isEnabled());
    EXPECT_FALSE(window.VerifyCheckBox->isEnabled());
    EXPECT_EQ(window.BlockEdit->text(), "7");
    EXPECT_EQ(window.PageEdit->text(), "12");
}

// A pass writes about two thousand lines: the log keeps the last 2,500, also over lines typed in it.
TEST_F(WindowControls, LogKeepsItsLineCapOverManyLines)
{
    for (int i = 0; i < 12000; ++i)
        window.LogText->appendPlainText(QStringLiteral("typed %1").arg(i));
    for (int i = 0; i < 3000; ++i)
        window.engine.logProgress(QStringLiteral("logged %1").arg(i));
    EXPECT_LE(window.LogText->blockCount(), 2500);
    EXPECT_TRUE(window.LogText->toPlainText().endsWith(QStringLiteral("logged 2999")));
}

// The timer's tick has to reach MainWindow::update(), not the repaint slot it hides: only the former
// moves the countdown.
TEST_F(WindowControls, TimerTickCountsTheReplyTimeOutDown)
{
    window.timer->stop();
    ASSERT_EQ(window.engine.timeoutTicks, 25);
    for (int tick = 1; tick <= 3; ++tick) {
        ASSERT_TRUE(QMetaObject::invokeMethod(window.timer, "timeout", Qt::DirectConnection));
        EXPECT_EQ(window.engine.timeoutTicks, 25 - tick);
    }
}

TEST_F(WindowControls, CloseAsksOnceWhileAnUpdateRunsAndNeverWhenIdle)
{
    for (int state : {Disconnected, Connecting, Connected}) {
        for (int phase : {Idle, BlockErase, DataPageSend}) {
            for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
                window.connectionState = state;
                window.engine.phase = phase;
                int questions = 0;
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
                // The question is modal: answer it from the event loop it runs.
                QTimer::singleShot(0, [&] {
                    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                    if (!box)
                        return;
                    ++questions;
                    defaultButton = box->standardButton(box->defaultButton());
                    EXPECT_EQ(box->text(),
                        "An update is running. Closing now leaves the unit without a complete image. Close "
                        "anyway?");
                    box->button(answer)->click();
                });
                QCloseEvent request;
                request.ignore();
                QApplication::sendEvent(&window, &request);
                QApplication::processEvents();
                const bool running = phase != Idle;
                EXPECT_EQ(questions, running ? 1 : 0) << state << " " << phase;
                EXPECT_EQ(request.isAccepted(), !running || answer == QMessageBox::Yes)
                    << state << " " << phase;
                if (running) {
                    EXPECT_EQ(defaultButton, QMessageBox::No);
                }
            }
        }
    }
}

// ---- Connecting through an in-process unit --------------------------------------------------------

class WindowConnection : public testing::Test
{
protected:
    void SetUp() override
    {
        window.init();
        window.timer->stop();
        selectUnit();
    }

    void selectUnit()
    {
        window.MidiInList->setCurrentRow(rowOf(window.MidiInList, "Window test unit"));
        window.MidiOutList->setCurrentRow(rowOf(window.MidiOutList, "Window test unit"));
        ASSERT_GE(window.MidiInList->currentRow(), 0);
        ASSERT_GE(window.MidiOutList->currentRow(), 0);
    }

    void connectAndIdentify()
    {
        window.ConnectButton->click();
        ASSERT_EQ(window.connectionState, Connecting);
        ASSERT_TRUE(unit.waitForMessages(1));
        ASSERT_TRUE(unit.reply(deviceInfo));
        QTRY_COMPARE_WITH_TIMEOUT(window.connectionState, int(Connected), 5000);
    }

    TestUnit unit;
    MainWindow window;
};

TEST_F(WindowConnection, ConnectOpensBothPortsAndAsksTheUnitToIdentify)
{
    window.ConnectButton->click();
    EXPECT_EQ(window.connectionState, Connecting);
    EXPECT_EQ(window.selectedInputRow, rowOf(window.MidiInList, "Window test unit"));
    EXPECT_EQ(window.selectedOutputRow, rowOf(window.MidiOutList, "Window test unit"));
    ASSERT_TRUE(unit.waitForMessages(1));
    EXPECT_EQ(unit.messages(), std::vector<Bytes>{identify});
    EXPECT_FALSE(window.TryConText->isHidden());
    EXPECT_EQ(window.ConnectButton->text(), "Disconnect");
    EXPECT_FALSE(window.MidiInList->isEnabled());
    EXPECT_FALSE(window.TransferButton->isEnabled());
    EXPECT_EQ(window.engine.timeoutTicks, 25);
}

TEST_F(WindowConnection, IdentityReplyConnectsAndShowsSerialAndVersion)
{
    connectAndIdentify();
    EXPECT_EQ(window.SnEdit->text(), "909-000-121");
    EXPECT_EQ(window.VersionEdit->text(), "5.01");
    EXPECT_TRUE(window.TryConText->isHidden());
    EXPECT_TRUE(window.TransferButton->isEnabled());
    EXPECT_EQ(window.ConnectButton->text(), "Disconnect");
}

TEST_F(WindowConnection, FurtherIdentityReplyOnlyRefreshesSerialAndVersion)
{
    connectAndIdentify();
    window.TransferButton->setEnabled(false);
    ASSERT_TRUE(unit.reply(otherDeviceInfo));
    QTRY_COMPARE_WITH_TIMEOUT(window.VersionEdit->text(), QString("3.02"), 5000);
    EXPECT_EQ(window.SnEdit->text(), window.engine.link.serialText);
    EXPECT_EQ(window.connectionState, Connected);
    EXPECT_FALSE(window.TransferButton->isEnabled());
}

TEST_F(WindowConnection, DisconnectWhileConnectingReturnsToTheStartState)
{
    window.ConnectButton->click();
    ASSERT_EQ(window.connectionState, Connecting);
    window.engine.phase = DataPageSend;
    window.ConnectButton->click();
    EXPECT_EQ(window.connectionState, Disconnected);
    EXPECT_EQ(window.engine.link.port.inHandle.load(), nullptr);
    EXPECT_EQ(window.engine.link.port.outHandle, nullptr);
    EXPECT_TRUE(window.MidiInList->isEnabled());
    EXPECT_TRUE(window.MidiOutList->isEnabled());
    EXPECT_EQ(window.ConnectButton->text(), "Connect");
    EXPECT_EQ(window.SnEdit->text(), "");
    EXPECT_EQ(window.VersionEdit->text(), "");
    EXPECT_EQ(window.engine.phase, DataPageSend);
}

TEST_F(WindowConnection, DisconnectAfterIdentityEmptiesSerialAndVersion)
{
    connectAndIdentify();
    window.ConnectButton->click();
    EXPECT_EQ(window.connectionState, Disconnected);
    EXPECT_EQ(window.SnEdit->text(), "");
    EXPECT_EQ(window.VersionEdit->text(), "");
    EXPECT_FALSE(window.TransferButton->isEnabled());
    EXPECT_FALSE(unit.reply(deviceInfo));
}

TEST_F(WindowConnection, FailedOpenLeavesTheWindowDisconnectedAndSendsNothing)
{
    unit.refuseOutputOpen = 1;
    window.ConnectButton->click();
    EXPECT_EQ(window.connectionState, Disconnected);
    EXPECT_EQ(window.ConnectButton->text(), "Connect");
    EXPECT_TRUE(window.MidiInList->isEnabled());
    EXPECT_TRUE(window.TryConText->isHidden());
    EXPECT_TRUE(unit.messages().empty());
    EXPECT_EQ(window.LogText->toPlainText(),
        "Cannot connect: the chosen ports could not be opened; the unit may have been unplugged. Check that "
        "it "
        "is still listed, then press Connect again.");
}

TEST_F(WindowConnection, ListWithoutCurrentRowIsPassedAsMinusOne)
{
    const QString inputMissing
        = "Cannot connect: no port is chosen under \"MIDI IN port\". Choose the unit "
          "there; if it is not listed, check its USB cable and that it is switched on.";
    const QString outputMissing
        = "Cannot connect: no port is chosen under \"MIDI OUT port\". Choose the unit "
          "there; if it is not listed, check its USB cable and that it is switched on.";
    struct Case
    {
        bool clearInput, clearOutput;
        QString log;
    };
    const Case cases[] = {{true, false, inputMissing}, {false, true, outputMissing},
        {true, true, inputMissing + "\n" + outputMissing}};
    for (const Case &c : cases) {
        selectUnit();
        window.LogText->clear();
        if (c.clearInput)
            window.MidiInList->setCurrentRow(-1);
        if (c.clearOutput)
            window.MidiOutList->setCurrentRow(-1);
        window.ConnectButton->click();
        EXPECT_EQ(window.selectedInputRow, c.clearInput ? -1 : rowOf(window.MidiInList, "Window test unit"));
        EXPECT_EQ(
            window.selectedOutputRow, c.clearOutput ? -1 : rowOf(window.MidiOutList, "Window test unit"));
        EXPECT_EQ(window.connectionState, Disconnected);
        EXPECT_EQ(window.LogText->toPlainText(), c.log);
    }
    EXPECT_TRUE(unit.messages().empty());
}

// The identify request has three seconds; the hint is only for a unit that is still being waited for.
TEST_F(WindowConnection, SilentUnitIsReportedOnlyWhileConnecting)
{
    const QString hint
        = "No answer from the unit within 3 s. Check that \"MIDI IN port\" and \"MIDI OUT "
          "port\" are the same unit, its cable and its power, then press Disconnect and Connect.";
    ASSERT_FALSE(window.engine.identifyWait->isActive());
    window.ConnectButton->click();
    EXPECT_TRUE(window.engine.identifyWait->isActive());
    EXPECT_TRUE(window.engine.identifyWait->isSingleShot());
    EXPECT_EQ(window.engine.identifyWait->interval(), 3000);
    struct Case
    {
        int state;
        QString log;
    };
    for (const Case &c : {Case{Connecting, hint}, Case{Connected, ""}, Case{Disconnected, ""}}) {
        window.LogText->clear();
        window.engine.connectionState = c.state;
        ASSERT_TRUE(QMetaObject::invokeMethod(window.engine.identifyWait, "timeout", Qt::DirectConnection));
        EXPECT_EQ(window.LogText->toPlainText(), c.log) << c.state;
    }
}

// The first identify can be lost while the ports are being linked: it goes again every half second
// until the unit answers, and not after.
TEST_F(WindowConnection, LostFirstIdentifyIsSentAgainUntilTheUnitAnswers)
{
    window.ConnectButton->click();
    EXPECT_TRUE(window.engine.identifyResend->isActive());
    EXPECT_EQ(window.engine.identifyResend->interval(), 500);
    window.engine.identifyResend->stop();
    ASSERT_TRUE(unit.waitForMessages(1));
    ASSERT_TRUE(QMetaObject::invokeMethod(window.engine.identifyResend, "timeout", Qt::DirectConnection));
    ASSERT_TRUE(unit.waitForMessages(2));
    EXPECT_EQ(unit.messages(), (std::vector<Bytes>{identify, identify}));
    ASSERT_TRUE(unit.reply(deviceInfo));
    QTRY_COMPARE_WITH_TIMEOUT(window.connectionState, int(Connected), 5000);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.engine.identifyResend, "timeout", Qt::DirectConnection));
    EXPECT_EQ(unit.messages().size(), 2u);
}

TEST_F(WindowConnection, Close1ClosesThePortsAtOnceAndTheWindowHalfASecondLater)
{
    window.show();
    connectAndIdentify();
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "close1", Qt::DirectConnection));
    EXPECT_EQ(window.connectionState, Disconnected);
    EXPECT_EQ(window.engine.link.port.inHandle.load(), nullptr);
    EXPECT_EQ(window.engine.link.port.outHandle, nullptr);
    EXPECT_FALSE(unit.reply(deviceInfo));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.ConnectButton->text(), "Disconnect");
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 5000);
}

// ---- Port lists that follow the MIDI system -------------------------------------------------------

class WindowPortLists : public testing::Test
{
protected:
    void plug(const char *name) { devices.push_back(std::make_unique<RecordingDevice>(name)); }

    void unplug(const char *name)
    {
        devices.erase(
            std::find_if(devices.begin(), devices.end(), [&](const auto &d) { return d->name() == name; }));
    }

    // What the watcher posts when ports come or go.
    static void announceChange(MainWindow &w)
    {
        QEvent changed(PortWatcher::PortsChanged);
        QApplication::sendEvent(&w.engine, &changed);
    }

    static QString current(QListWidget *list)
    {
        return list->currentItem() ? list->currentItem()->text() : "";
    }

    // The user presses a row, as with the mouse.
    static void press(QListWidget *list, const char *name)
    {
        const QRect row = list->visualItemRect(list->item(rowOf(list, name)));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    }

    std::vector<std::unique_ptr<RecordingDevice>> devices;
    MainWindow window;
};

TEST_F(WindowPortLists, ListsFollowThePortsAndKeepTheCurrentPortByName)
{
    struct Case
    {
        const char *what;
        std::vector<const char *> before;
        const char *pressed; // row the user presses before the change, if any
        std::vector<const char *> plugged;
        std::vector<const char *> unplugged;
        const char *current; // afterwards, in both lists; null: the port that was current before
    };
    const Case cases[] = {
        {"unit comes, nothing chosen", {"Synth"}, nullptr, {"Tavrin (desk)"}, {}, "Tavrin (desk)"},
        {"unit comes, another port chosen", {"Synth"}, "Synth", {"Tavrin (desk)"}, {}, "Synth"},
        {"rows shift under the chosen port", {"Synth", "Piano"}, "Piano", {}, {"Synth"}, "Piano"},
        {"another port comes", {"Synth"}, nullptr, {"Piano"}, {}, nullptr},
        {"chosen port goes, the unit is taken", {"Synth", "Tavrin (desk)", "Piano"}, "Piano", {}, {"Piano"},
            "Tavrin (desk)"},
        {"a second unit does not take over", {"Tavrin (a)"}, nullptr, {"Tavrin (b)"}, {}, "Tavrin (a)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        devices.clear();
        for (const char *name : c.before)
            plug(name);
        MainWindow w;
        w.init();
        w.timer->stop();
        w.show();
        if (c.pressed) {
            press(w.MidiInList, c.pressed);
            press(w.MidiOutList, c.pressed);
        }
        const QString before = current(w.MidiInList);
        for (const char *name : c.plugged)
            plug(name);
        for (const char *name : c.unplugged)
            unplug(name);
        announceChange(w);
        const QString expected = c.current ? QString(c.current) : before;
        EXPECT_EQ(current(w.MidiInList), expected);
        EXPECT_EQ(current(w.MidiOutList), expected);
        for (const char *name : c.plugged)
            EXPECT_GE(rowOf(w.MidiInList, name), 0) << name;
        for (const char *name : c.unplugged)
            EXPECT_EQ(rowOf(w.MidiOutList, name), -1) << name;
        EXPECT_EQ(w.LogText->toPlainText(), "");
    }
}

TEST_F(WindowPortLists, ListsStayWhileConnectedAndAVanishedUnitIsReportedOnce)
{
    plug("Tavrin (desk)");
    window.init();
    window.timer->stop();
    window.ConnectButton->click();
    ASSERT_EQ(window.connectionState, Connecting);
    ASSERT_EQ(current(window.MidiInList), "Tavrin (desk)");
    const int listed = window.MidiInList->count();

    plug("Synth");
    announceChange(window);
    EXPECT_EQ(window.MidiInList->count(), listed);
    EXPECT_EQ(window.LogText->toPlainText(), "");

    unplug("Tavrin (desk)");
    window.connectionState = Connected;
    announceChange(window);
    announceChange(window);
    EXPECT_EQ(window.MidiOutList->count(), listed);
    EXPECT_EQ(window.LogText->toPlainText(),
        "The unit's MIDI ports have gone. Check its cable and power, press Disconnect, and Connect again "
        "once "
        "the unit is listed.");

    // Disconnecting shows the ports as they are now.
    window.ConnectButton->click();
    EXPECT_EQ(rowOf(window.MidiInList, "Tavrin (desk)"), -1);
    EXPECT_GE(rowOf(window.MidiOutList, "Synth"), 0);
}

TEST_F(WindowPortLists, ConnectWithEmptyListsSaysWhatIsMissing)
{
    window.init();
    window.timer->stop();
    if (window.MidiInList->count() + window.MidiOutList->count() > 0)
        GTEST_SKIP() << "MIDI ports outside the test are listed";
    window.ConnectButton->click();
    EXPECT_EQ(window.connectionState, Disconnected);
    const QString noSystem
        = "Cannot connect: no MIDI system is running. Load the ALSA sequencer (kernel module "
          "snd-seq) or start a JACK server; the port lists fill in by themselves.";
    const QString nothingChosen = "Cannot connect: no port is chosen under \"MIDI IN port\". Choose the unit "
                                  "there; if it is not listed, "
                                  "check its USB cable and that it is switched on.\nCannot connect: no port "
                                  "is chosen under \"MIDI OUT "
                                  "port\". Choose the unit there; if it is not listed, check its USB cable "
                                  "and that it is switched on.";
    EXPECT_EQ(window.LogText->toPlainText(), PortWatcher::midiSystemRunning() ? nothingChosen : noSystem);
}

// ---- Start-up --------------------------------------------------------------------------------------

class WindowStartup : public testing::Test
{
protected:
    void TearDown() override
    {
        QSettings settings;
        settings.clear();
    }
};

TEST_F(WindowStartup, LanguageOneInstallsBothCataloguesAnythingElseNoneAndNoKeyFollowsTheDesktop)
{
    struct Case
    {
        const char *name;
        QVariant stored;
        QLocale desktop;
        bool german;
    };
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Austria);
    const Case cases[] = {
        {"no key", QVariant(), english, false},
        {"no key, German desktop", QVariant(), german, true},
        {"no key, C locale", QVariant(), QLocale::c(), false},
        {"text 1", QVariant(QStringLiteral("1")), english, true},
        {"number 1", QVariant(1), english, true},
        {"text 0, German desktop", QVariant(QStringLiteral("0")), german, false},
        {"text 2", QVariant(QStringLiteral("2")), english, false},
        {"de", QVariant(QStringLiteral("de")), german, false},
        {"empty", QVariant(QString()), german, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QSettings settings;
        settings.clear();
        if (c.stored.isValid())
            settings.setValue(QStringLiteral("language"), c.stored);
        QTranslator program;
        QTranslator framework;
        EXPECT_EQ(Startup::installTranslators(settings, c.desktop, program, framework), c.german);
        EXPECT_EQ(QCoreApplication::translate("MainWindow", "Connect"), c.german ? "Verbinden" : "Connect");
        EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), c.german ? "&Rückgängig" : "&Undo");
    }
}

TEST_F(WindowStartup, VerifyIsOnUnlessTheSettingsHoldZero)
{
    for (const auto &[stored, verify] : {std::pair(QVariant(), true), {QVariant(QStringLiteral("0")), false},
             {QVariant(0), false}, {QVariant(QStringLiteral("1")), true}}) {
        QSettings settings;
        settings.clear();
        if (stored.isValid())
            settings.setValue(QStringLiteral("verify"), stored);
        EXPECT_EQ(Startup::verifyAfterWriting(settings), verify) << stored.toString().toStdString();
    }
}

TEST_F(WindowStartup, StoredLanguageIsReadFromTheProgramsSettings)
{
    {
        QSettings stored(QStringLiteral("Kestrava"), QStringLiteral("Tavrin_update"));
        stored.setValue(QStringLiteral("language"), QStringLiteral("1"));
    }
    QSettings settings;
    QTranslator program;
    QTranslator framework;
    EXPECT_TRUE(Startup::installTranslators(settings, QLocale::c(), program, framework));
    EXPECT_TRUE(settings.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}

TEST_F(WindowStartup, GermanLanguageGivesAGermanWindow)
{
    QSettings settings;
    settings.setValue(QStringLiteral("language"), 1);
    QTranslator program;
    QTranslator framework;
    ASSERT_TRUE(Startup::installTranslators(settings, QLocale::c(), program, framework));
    MainWindow window;
    window.init();
    const std::vector<std::pair<QWidget *, const char *>> texts = {
        {window.groupBox, "Tavrin-Information"},
        {window.label, "Ser.-Nr.:"},
        {window.label_2, "Version:"},
        {window.groupBox_3, "MIDI-Eingang"},
        {window.groupBox_4, "MIDI-Ausgang"},
        {window.ConnectButton, "Verbinden"},
        {window.TryConText, "Verbinden..."},
        {window.TransferButton, "Aktualisieren"},
        {window.VerifyCheckBox, "Nach dem Schreiben prüfen"},
        {window.groupBox_2, "NAND-Information"},
        {window.label_3, "Block:"},
        {window.label_4, "Seite:"},
    };
    for (const auto &[widget, text] : texts) {
        EXPECT_EQ(shownText(widget), QString::fromUtf8(text)) << widget->objectName().toStdString();
        EXPECT_TRUE(showsWholeText(widget)) << widget->objectName().toStdString();
    }
    EXPECT_EQ(window.windowTitle(), "Tavrin-Update");
    window.connectionState = Connecting;
    window.refreshControls();
    EXPECT_EQ(window.ConnectButton->text(), "Trennen");
    EXPECT_TRUE(showsWholeText(window.ConnectButton));
}

// The engine's progress texts, each exactly as the engine passes it to tr().
TEST_F(WindowStartup, GermanCatalogueTranslatesEveryProgressText)
{
    QTranslator program;
    ASSERT_TRUE(program.load(QStringLiteral(":/Charts/update_de")));
    const char *const texts[] = {
        "read BBL\n",
        "found %1 BBLs",
        "read last BBL",
        "no BBL found, NAND is unused",
        "read defective list",
        "BBL block %1 defect",
        "BBL contains %1 blocks",
        "Factory defects: %1 blocks",
        "DefectList block %1 defect",
        "DefectList contains %1 blocks",
        "more than 3 factory defects, Flash not healthy! Aborting",
        "erase block 0 (BBL block)",
        "Erase block %1 FAIL",
        "Erase block %1 ok",
        "Write Data Page",
        "writing BBL to block 0 page %1",
        "write page %1",
        "Write BBL Page %1",
        "FAIL!",
        "Block %1 is marked as bad",
        "*** Finish***",
        "(%1 retries)",
        "Error: not enough space in NAND, all 1024 blocks written",
        "Reset NAND",
        "BBL block is full, the last BBL moves to page 0",
        "Update stopped: no reply from the unit for 10 s. Check that input and output are the same unit, and "
        "its "
        "cable and power; then press Disconnect and Connect. Update starts the whole update again.",
        "Ignored a reply that answers no request in flight (reply code %1); further ones of this kind are "
        "not "
        "logged in this pass",
        "Update stopped: %1 failed again after %2 retries",
        "the search for a bad-block list in block 0, page %1",
        "the read of the bad-block list in block 0, page %1",
        "the read of the factory defect list",
        "the write of block %1",
        "the write of the bad-block list to block 0, page %1",
        "The unit's data replies do not carry their checksum; each one is read twice",
        "Update stopped: the unit did not confirm the finish",
        "A status reply of the wrong length (reply code %1) counts as lost; further ones of this kind are "
        "not logged in this pass",
        "Status %1 (reply code %2) is taken as success, as the protocol allows; further ones are not "
        "logged in this pass",
        "The unit received piece %1 damaged; %2 starts again",
        "The unit is preparing its NAND; waiting up to 60 s for it",
        "Update stopped: the unit did not get its NAND ready within 60 s",
        "Every reply arrives twice: the unit is connected to this input more than once",
        "Erase block %1 failed; it is erased once more",
        "An update is running. Closing now leaves the unit without a complete image. Close anyway?",
        "Update stopped: the erase of block 0 failed twice; no bad-block list was written over the old ones",
        "Update stopped: no good block left, the image is incomplete; the unit was not told that the update "
        "finished",
        "Update refused: the image cannot be opened",
        "Update refused: the image (%1 bytes) does not fit the NAND",
        "Pass finished: %1 pages in %2 blocks, verified, %3 retries, %4 s, %5 KiB/s",
        "Pass finished: %1 pages in %2 blocks, not verified, %3 retries, %4 s, %5 KiB/s",
        "The Plastique style is not available for this Qt: the window uses Fusion.",
        "The unit's MIDI ports have gone. Check its cable and power, press Disconnect, and Connect again "
        "once "
        "the unit is listed.",
        "The JACK server has stopped; its MIDI ports are no longer listed.",
        "The JACK server has stopped and the connection to the unit with it; the unit is not at fault. Start "
        "the JACK server again, then press Connect; Update starts the whole update again.",
        "Cannot connect: no MIDI system is running. Load the ALSA sequencer (kernel module snd-seq) or start "
        "a "
        "JACK server; the port lists fill in by themselves.",
        "Cannot connect: no port is chosen under \"%1\". Choose the unit there; if it is not listed, check "
        "its "
        "USB cable and that it is switched on.",
        "Cannot connect: the chosen ports could not be opened; the unit may have been unplugged. Check that "
        "it "
        "is still listed, then press Connect again.",
        "No answer from the unit within %1 s. Check that \"%2\" and \"%3\" are the same unit, its cable and "
        "its power, then press Disconnect and Connect.",
        "Warning: \"%1\" and \"%2\" belong to different MIDI clients and may not be the same unit; requests "
        "would then go to one unit while the answers are awaited from the other.",
    };
    for (const char *source : texts)
        EXPECT_FALSE(program.translate("MainWindow", source).isEmpty()) << source;
    EXPECT_EQ(program.translate("MainWindow", "read BBL\n"), "Bad-Block-Liste lesen\n");
}

// Qt 6 has no Plastique plugin: there Fusion draws the window, and its log says so once.
TEST_F(WindowStartup, ApplicationCarriesTheMakersNamesAndThePlastiqueStyleOrSaysItUsesFusion)
{
    EXPECT_EQ(QCoreApplication::organizationName(), "Kestrava");
    EXPECT_EQ(QCoreApplication::organizationDomain(), "kestrava.example");
    EXPECT_EQ(QCoreApplication::applicationName(), "Tavrin_update");
    const bool plastique = QStyleFactory::keys().contains(QStringLiteral("Plastique"), Qt::CaseInsensitive);
    if (plastique) {
        EXPECT_EQ(QApplication::style()->objectName().toLower(), "plastique");
    } else {
        const auto *frames = qobject_cast<const QProxyStyle *>(QApplication::style());
        ASSERT_NE(frames, nullptr);
        EXPECT_EQ(frames->baseStyle()->objectName().toLower(), "fusion");
    }
    MainWindow window;
    Startup::showWindow(window);
    EXPECT_EQ(window.LogText->toPlainText(),
        plastique ? "" : "The Plastique style is not available for this Qt: the window uses Fusion.");
}

TEST_F(WindowStartup, ApplicationFontIsKeptAtTheFormsEightPoints)
{
    const QFont original = QApplication::font();
    struct Case
    {
        qreal desktop;
        qreal used;
    };
    for (const Case &c : {Case{12.0, 8.0}, Case{9.0, 8.0}, Case{8.0, 8.0}, Case{7.0, 7.0}}) {
        QFont desktop = original;
        desktop.setPointSizeF(c.desktop);
        QApplication::setFont(desktop);
        Startup::fitFontToForm();
        EXPECT_EQ(QApplication::font().pointSizeF(), c.used) << c.desktop;
        EXPECT_EQ(QApplication::font().family(), original.family());
    }
    QApplication::setFont(original);
}

TEST_F(WindowStartup, ShownWindowIsFixedAtItsOneSize)
{
    MainWindow window;
    Startup::showWindow(window);
    EXPECT_EQ(window.size(), QSize(922, 322));
    EXPECT_EQ(window.minimumSize(), QSize(922, 322));
    EXPECT_EQ(window.maximumSize(), QSize(922, 322));
    // Also run at QT_SCALE_FACTOR 1.5 and 2 (tests/CMakeLists.txt); Qt 6 takes the @2x picture from 2 on.
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    EXPECT_EQ(window.grab().size(), QSize(922, 322) * scale);
    if (scale == qRound(scale)) {
        EXPECT_EQ(window.IconLabel->pixmap(Qt::ReturnByValue).size(), QSize(320, 87) * scale);
    }
    EXPECT_EQ(window.TransferButton->text(), "Update");
    EXPECT_TRUE(window.timer->isActive());
}

// ---- Embedded resources ---------------------------------------------------------------------------

TEST(WindowPortChoice, ExactNameFirstThenTheOnePortThatContainsItNeverAGuess)
{
    const QStringList units{"Tavrin:out 130:1", "Tavrin:out 131:1", "Synth"};
    const struct
    {
        QStringList listed;
        const char *wanted;
        PortChoice::Outcome outcome;
        int row;
    } rows[] = {
        {units, "Tavrin:out 131:1", PortChoice::Found, 1},
        {units, "synth", PortChoice::Found, 2},
        {units, "tavrin", PortChoice::Ambiguous, -1},
        {units, "Piano", PortChoice::Unknown, -1},
        {{"Tavrin", "Tavrin 2"}, "Tavrin", PortChoice::Found, 0},
    };
    for (const auto &row : rows) {
        const PortChoice choice = PortChoice::find(row.listed, QString::fromLatin1(row.wanted));
        EXPECT_EQ(choice.outcome, row.outcome) << row.wanted;
        EXPECT_EQ(choice.row, row.row) << row.wanted;
    }
}

// An option the command line does not know is its usage error; only Qt's own options open the window.
TEST(WindowCommandLine, EveryArgumentButQtsWindowOptionsGoesToTheCommandLine)
{
    const struct
    {
        std::vector<const char *> arguments;
        bool commandLine;
    } rows[] = {
        {{}, false},
        {{"-style", "fusion"}, false},
        {{"-style=fusion", "-reverse"}, false},
        {{"-platform", "xcb", "foo"}, true},
        {{"foo"}, true},
        {{"-x"}, true},
        {{"-stylish"}, true},
        {{"-h"}, true},
        {{"--in=Tavrin", "--batch"}, true},
        {{"--bogus"}, true},
    };
    for (const auto &row : rows) {
        std::vector<char *> argv{const_cast<char *>("tavrin-update")};
        for (const char *argument : row.arguments)
            argv.push_back(const_cast<char *>(argument));
        EXPECT_EQ(CommandLine::wanted(int(argv.size()), argv.data()), row.commandLine)
            << (row.arguments.empty() ? "" : row.arguments.front());
    }
}

TEST(WindowResources, ImageResourceHoldsTheImageCompressed)
{
    QFile staged(QStringLiteral(TAVRIN_STAGED_IMAGE_FILE));
    ASSERT_TRUE(staged.open(QIODevice::ReadOnly));
    QFile image(QStringLiteral(":/data/resourcesNAND.bin"));
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    EXPECT_EQ(image.size(), staged.size());
    EXPECT_TRUE(image.readAll() == staged.readAll());
    const QResource resource(QStringLiteral(":/data/resourcesNAND.bin"));
    EXPECT_EQ(resource.compressionAlgorithm(), QResource::ZlibCompression);
    EXPECT_LE(resource.size(), Nand::MaxImageSize);
}

TEST(WindowResources, FirstLogLineNamesTheEmbeddedImageAndTheResetCodesOrigin)
{
    QFile staged(QStringLiteral(TAVRIN_STAGED_IMAGE_FILE));
    ASSERT_TRUE(staged.open(QIODevice::ReadOnly));
    const QByteArray bytes = staged.readAll();
    const QString sha256
        = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    const QString origin = QStringLiteral(TAVRIN_RESET_CODE).toUpper() == QStringLiteral("54415652")
        ? QStringLiteral("the default")
        : QStringLiteral("set for this build");
    MainWindow window;
    window.logBuildIdentity();
    const QStringList log = window.LogText->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(log.first(),
        QStringLiteral("Tavrin Update %1; %2: %3 bytes, SHA-256 %4; reset code: %5")
            .arg(QString::fromLatin1(BuildInfo::Version),
                TAVRIN_IMAGE_IS_PLACEHOLDER ? QStringLiteral("placeholder image") : QStringLiteral("image"))
            .arg(bytes.size())
            .arg(sha256, origin));
    EXPECT_EQ(
        log.size() == 2 && log.last().contains(QStringLiteral("placeholder")), TAVRIN_IMAGE_IS_PLACEHOLDER);
}

TEST(WindowResources, PlaceholderImageHasTheRealImagesLength)
{
    if (!TAVRIN_IMAGE_IS_PLACEHOLDER)
        GTEST_SKIP() << "built with the maker's image";
    EXPECT_EQ(QFile(QStringLiteral(":/data/resourcesNAND.bin")).size(), 3915344);
}

TEST(WindowResources, PictureIsStoredPlainAt320By87WithAlpha)
{
    const QResource resource(QStringLiteral(":/data/update_screen_tavrin_V2_02.png"));
    ASSERT_TRUE(resource.isValid());
    EXPECT_EQ(resource.compressionAlgorithm(), QResource::NoCompression);
    const QImage picture(QStringLiteral(":/data/update_screen_tavrin_V2_02.png"));
    EXPECT_EQ(picture.size(), QSize(320, 87));
    EXPECT_TRUE(picture.hasAlphaChannel());
    EXPECT_EQ(picture.depth(), 32);
}

TEST(WindowResources, TreeHoldsTheDataAndTheCatalogues)
{
    EXPECT_EQ(QDir(QStringLiteral(":/data")).entryList(QDir::AllEntries, QDir::Name),
        QStringList(
            {"resourcesNAND.bin", "update_screen_tavrin_V2_02.png", "update_screen_tavrin_V2_02@2x.png"}));
    EXPECT_EQ(QDir(QStringLiteral(":/Charts")).entryList(QDir::AllEntries, QDir::Name),
        QStringList({"qt_de", "update_de"}));
}

} // namespace
