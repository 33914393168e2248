#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarn::settings;

namespace {

struct FakeWindow : WindowPlacement {
    bool normal = true;
    int topTwips = 0;
    int leftTwips = 0;
    bool isNormalState() const override { return normal; }
    int top() const override { return topTwips; }
    int left() const override { return leftTwips; }
    void setTop(int twips) override { topTwips = twips; }
    void setLeft(int twips) override { leftTwips = twips; }
};

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        ASSERT_TRUE(QDir(tmp.path()).mkpath("exe"));
    }
    // Gives the temporary folder back its rights so that it can be removed.
    void TearDown() override { chmod(QFile::encodeName(exeDir()).constData(), 0755); }
    QString exeDir() const { return tmp.filePath("exe"); }
    QString userDir() const { return tmp.filePath("user"); }
    QString exeIni() const { return tmp.filePath("exe/tarn-vq4400.ini"); }
    SettingsStore store() const { return SettingsStore(exeDir(), "tarn-vq4400", userDir()); }

    static void write(const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static QByteArray platformLines(QByteArray text) {
#ifdef Q_OS_WIN
        text.replace("\n", "\r\n");
#endif
        return text;
    }

    QTemporaryDir tmp;
    Settings settings;
    FakeWindow window;
};

TEST_F(SettingsStoreTest, FirstSaveWritesTheWholeFileInItsFixedOrder) {
    settings.Ports = {{3, "Amp"}, {1, "Tuner"}};
    window.topTwips = 1200;
    window.leftTwips = -300;
    ASSERT_TRUE(store().Save_All_to_ini_file(settings, window));
    EXPECT_EQ(read(exeIni()), platformLines("[COM]\nPortNumber= 0\nBaudRate= 9600\n\n"
                                            "[Polling]\nRate= 50\n\n[TimeOut]\nTime= 500\n\n"
                                            "[Form]\nAlwaysOnTop=No\nTop_Location= 1200\n"
                                            "Left_Location=-300\nSize=Normal\n\n"
                                            "[ONexit]\nForce_STBY=Yes\n\n"
                                            "[tiny_Form]\nTop_Location=\nLeft_Location=\n\n"
                                            "[Ports]\nCOM1=Tuner\nCOM3=Amp\n"));
}

TEST_F(SettingsStoreTest, LoadReadsHandWrittenValuesVerbatimOrAsNumbers) {
    write(exeIni(), "[com]\r\n\tbaudrate = 19200\r\nPORTNUMBER=\t4 \r\n[POLLING]\r\nrate=+75\r\n"
                    "[timeout]\r\nTime=0\r\n[form]\r\nAlwaysOnTop= yes\r\n"
                    "Top_Location= 1 2 0 0xyz\r\nLeft_Location=-99.6\r\nSize=Tiny\r\n"
                    "[ONEXIT]\r\nforce_stby=no\r\n[TINY_FORM]\r\nTop_Location=12.50abc\r\n"
                    "left_location=abc\r\n");
    EXPECT_TRUE(store().Load_All_from_ini_file(settings, window).isEmpty());
    EXPECT_EQ(settings.BaudRate, 19200);
    EXPECT_EQ(settings.PortNumber, 4);
    EXPECT_EQ(settings.Polling, 75);
    EXPECT_EQ(settings.TimeOut, 0);
    EXPECT_EQ(settings.AlwaysOnTop, "yes");
    EXPECT_EQ(settings.Force_STBY, "no");
    EXPECT_EQ(settings.Size, "Tiny");
    EXPECT_EQ(window.topTwips, 1200);
    EXPECT_EQ(window.leftTwips, -100);
    EXPECT_EQ(settings.Top_Location, "12.5");
    EXPECT_EQ(settings.Left_Location, "0");
}

TEST_F(SettingsStoreTest, RejectedNumbersKeepTheCurrentValueAndAreReported) {
    const std::pair<QByteArray, QString> cases[] = {
        {"[Polling]\nRate=0", "Polling/Rate: \"0\" ignored, keeping 50"},
        {"[Polling]\nRate=abc", "Polling/Rate: \"abc\" ignored, keeping 50"},
        {"[Polling]\nRate=50ms", "Polling/Rate: \"50ms\" ignored, keeping 50"},
        {"[TimeOut]\nTime=-1", "TimeOut/Time: \"-1\" ignored, keeping 500"},
        {"[TimeOut]\nTime=900000 ; long", "TimeOut/Time: \"900000 ; long\" ignored, keeping 500"},
        {"[Polling]\nRate=1 2", "Polling/Rate: \"1 2\" ignored, keeping 50"},
        {"[COM]\nPortNumber=300", "COM/PortNumber: \"300\" ignored, keeping 0"},
        {"[COM]\nBaudRate=9600.5", "COM/BaudRate: \"9600.5\" ignored, keeping 9600"},
        {"[COM]\nBaudRate=99999999999999999999", "COM/BaudRate: \"99999999999999999999\" "
                                                 "ignored, keeping 9600"},
    };
    for (const auto& [line, message] : cases) {
        write(exeIni(), line + "\n[Form]\nSize=Big\n");
        Settings loaded;
        EXPECT_EQ(store().Load_All_from_ini_file(loaded, window), QStringList{message});
        EXPECT_EQ(loaded.Polling, 50);
        EXPECT_EQ(loaded.TimeOut, 500);
        EXPECT_EQ(loaded.PortNumber, 0);
        EXPECT_EQ(loaded.BaudRate, 9600);
        EXPECT_EQ(loaded.Size, "Big");
    }
}

TEST_F(SettingsStoreTest, PortNumberMustHoldSomething) {
    EXPECT_FALSE(store().Ini_Has_Port_Number());
    write(exeIni(), "[COM]\nBaudRate=4800\n");
    EXPECT_FALSE(store().Ini_Has_Port_Number());
    write(exeIni(), "[COM]\nPortNumber=   \nBaudRate=4800\n");
    EXPECT_FALSE(store().Ini_Has_Port_Number());
    EXPECT_TRUE(store().Load_All_from_ini_file(settings, window).isEmpty());
    EXPECT_EQ(settings.PortNumber, 0);
    EXPECT_EQ(settings.BaudRate, 4800);
    write(exeIni(), "[com]\nportnumber= 7\n");
    EXPECT_TRUE(store().Ini_Has_Port_Number());
}

TEST_F(SettingsStoreTest, SaveKeepsTheRestOfTheFileAndTheStoredPositionWhenNotNormal) {
    write(exeIni(), "; panel settings\n[Form]\nSize=Big\nTop_Location=77\n; pos\n\n"
                    "[Extra]\nkeep = me\n[ports]\ncom03=Old\n");
    settings.Top_Location = "150";
    settings.Ports = {{3, "New"}, {5, "Tuner"}};
    window.normal = false;
    window.topTwips = 5;
    ASSERT_TRUE(store().Save_All_to_ini_file(settings, window));
    EXPECT_EQ(read(exeIni()),
              "; panel settings\n[Form]\nSize=Normal\nTop_Location=77\nAlwaysOnTop=No\n"
              "; pos\n\n[Extra]\nkeep = me\n[ports]\ncom03=New\nCOM5=Tuner\n\n"
              "[COM]\nPortNumber= 0\nBaudRate= 9600\n\n[Polling]\nRate= 50\n\n"
              "[TimeOut]\nTime= 500\n\n[ONexit]\nForce_STBY=Yes\n\n"
              "[tiny_Form]\nTop_Location=150\nLeft_Location=\n");

    Settings loaded;
    FakeWindow placed;
    EXPECT_TRUE(store().Load_All_from_ini_file(loaded, placed).isEmpty());
    store().loadPortMap(loaded);
    EXPECT_EQ(loaded.Top_Location, "150"); // written to tiny_Form, read from Tiny_Form
    EXPECT_EQ(placed.topTwips, 77);
    EXPECT_EQ(loaded.Ports, settings.Ports);
}

TEST_F(SettingsStoreTest, PortMapTakesOnlyComKeysWithADevice) {
    write(exeIni(), "[Ports]\nCOM3 = Amp\ncom12=\tTuner \nCOM0=x\nCOM256=y\nCOMX=z\nCOM5=\n"
                    "LPT1=q\nCOM 4=w\nCOM003=dup\n");
    settings.Ports = {{7, "Kept"}};
    store().loadPortMap(settings);
    const QMap<int, QString> expected{{3, "Amp"}, {7, "Kept"}, {12, "Tuner"}};
    EXPECT_EQ(settings.Ports, expected);
}

TEST_F(SettingsStoreTest, UnwritableExeFolderFallsBackToTheUserFolder) {
    QString lockedExeDir = exeDir();
    if (geteuid() == 0) {
        // Root ignores permission bits, so use a folder that cannot exist: one under a file.
        write(tmp.filePath("plainfile"), "x");
        lockedExeDir = tmp.filePath("plainfile/exe");
    } else {
        // A copy shipped read-only with the program is read until the user folder has one.
        write(exeIni(), "[COM]\nPortNumber=9\n[Shipped]\nk=v\n");
        ASSERT_EQ(chmod(QFile::encodeName(exeDir()).constData(), 0555), 0);
        EXPECT_TRUE(SettingsStore(exeDir(), "tarn-vq4400", userDir()).Ini_Has_Port_Number());
    }
    const SettingsStore locked(lockedExeDir, "tarn-vq4400", userDir());
    const QString userIni = QDir(userDir()).filePath("tarn-vq4400.ini");
    EXPECT_EQ(locked.writePath(), userIni);
    EXPECT_EQ(locked.readPath(), QDir(lockedExeDir).filePath("tarn-vq4400.ini"));

    settings.Polling = 75;
    SettingsStore writer = locked;
    ASSERT_TRUE(writer.Save_All_to_ini_file(settings, window));
    EXPECT_EQ(locked.readPath(), userIni);
    Settings loaded;
    EXPECT_TRUE(locked.Load_All_from_ini_file(loaded, window).isEmpty());
    EXPECT_EQ(loaded.Polling, 75);
}

TEST_F(SettingsStoreTest, IniPathThatIsAFolderIsTreatedAsUnwritable) {
    ASSERT_TRUE(QDir().mkpath(exeIni()));
    EXPECT_EQ(store().writePath(), QDir(userDir()).filePath("tarn-vq4400.ini"));
    ASSERT_TRUE(store().Save_All_to_ini_file(settings, window));
    EXPECT_TRUE(store().Ini_Has_Port_Number());

    const SettingsStore nowhere(exeDir(), "tarn-vq4400", QString());
    EXPECT_FALSE(SettingsStore(nowhere).Save_All_to_ini_file(settings, window));
}

} // namespace
