// What the program keeps and reads: its settings under the organisation and
// application names, the recent-file list, the window's geometry; and the
// translation of the core's file-type filters and of the command line.
#include <QSettings>
#include <QTest>
#include <QToolBar>

#include "AppHarness.h"
#include "TestFiles.h"
#include "app/CommandLine.h"
#include "app/FileFilter.h"
#include "app/RecentFileList.h"

class SettingsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void init() { ClearSettings(); }

    void settingsLiveUnderTheProgramsNames()
    {
        AppHarness app;
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Local AppWizard-Generated Applications"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Tavrel"));
        QSettings settings;
        QVERIFY2(settings.fileName().endsWith("/Local AppWizard-Generated Applications/Tavrel.conf"),
                 qPrintable(settings.fileName()));
        // Inside the test's own folders, never a user's.
        QVERIFY(settings.fileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    }

    void recentFilesKeepTheLastFourNewestFirst()
    {
        AppHarness app;
        QStringList paths;
        for (int i = 0; i < 5; ++i) {
            paths << m_dir.filePath(QStringLiteral("recent%1.nif").arg(i));
            WriteModel(paths.back(), {PatternTexture(4, 4, 1, uint8_t(i))});
            app.Open(paths.back());
        }
        app.Open(paths[2]);   // opened again: moves to the top, not listed twice
        const QStringList expected = {paths[2], paths[4], paths[3], paths[1]};
        QCOMPARE(app.App().GetRecentFiles().Files(), expected);
        // Stepping through the textures of the open file changes nothing.
        QSettings settings;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(settings.value(QStringLiteral("Recent File List/File%1").arg(i + 1)).toString(), expected[i]);
        QVERIFY(!settings.contains("Recent File List/File5"));

        CRecentFileList reread(4);
        reread.ReadList();
        QCOMPARE(reread.Files(), expected);
    }

    void fileThatShowsNoImageIsNotRemembered()
    {
        AppHarness app;
        const QString broken = m_dir.filePath("broken.png");
        WriteBytes(broken, {0x89, 'P', 'N', 'G', 0});
        app.Open(broken);
        QVERIFY(app.App().GetRecentFiles().Files().isEmpty());
    }

    void windowGeometryAndBarsComeBack()
    {
        QRect saved;
        {
            AppHarness app;
            app.Frame()->show();
            app.Frame()->setGeometry(40, 50, 640, 480);
            app.Frame()->GetToolBar()->hide();
            saved = app.Frame()->geometry();
            QVERIFY(app.Frame()->close());
        }
        TestUi ui;
        CTavrelApp again(&ui, &ui);
        QVERIFY(again.InitInstance());
        QCOMPARE(again.GetMainFrame()->geometry().size(), saved.size());
        QVERIFY(again.GetMainFrame()->GetToolBar()->isHidden());
    }

    void filtersBecomeQtNameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("open") << "Varn Raw Image Data (*.nif)|*.nif|Varn Compressed Bitmap (*.bmz)|*.bmz|"
                                 "Portable Network Graphics (*.png)|*.png|Windows Bitmap (*.bmp)|*.bmp||"
                              << QStringList{"Varn Raw Image Data (*.nif)", "Varn Compressed Bitmap (*.bmz)",
                                             "Portable Network Graphics (*.png)", "Windows Bitmap (*.bmp)"};
        QTest::newRow("several patterns") << "Bitmaps (*.bmp;*.dib)|*.bmp;*.dib||"
                                          << QStringList{"Bitmaps (*.bmp *.dib)"};
        QTest::newRow("no patterns in the name") << "Bitmap File|*.bmp||" << QStringList{"Bitmap File (*.bmp)"};
        QTest::newRow("unterminated") << "A (*.a)|*.a" << QStringList{"A (*.a)"};
        QTest::newRow("empty") << "" << QStringList{};
    }

    void filtersBecomeQtNameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, names);
        QCOMPARE(NameFiltersFromFilter(filter.toStdString()), names);
    }

    void firstExtensionOfAFilter()
    {
        QCOMPARE(FirstExtension("Windows Bitmap (*.bmp)"), QStringLiteral("bmp"));
        QCOMPARE(FirstExtension("Truevision Targa (*.tga *.tpic)"), QStringLiteral("tga"));
        QCOMPARE(FirstExtension("All files (*)"), QString());
    }

    void commandLineArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("file");
        QTest::newRow("nothing") << QStringList{} << int(CommandLineInfo::Run) << "";
        QTest::newRow("a file") << QStringList{"house.nif"} << int(CommandLineInfo::Run) << "house.nif";
        QTest::newRow("a file named like an option") << QStringList{"--", "-odd.nif"} << int(CommandLineInfo::Run)
                                                     << "-odd.nif";
        QTest::newRow("help") << QStringList{"--help"} << int(CommandLineInfo::Help) << "";
        QTest::newRow("version after a file") << QStringList{"a.nif", "-v"} << int(CommandLineInfo::Version) << "";
        QTest::newRow("help after --") << QStringList{"--", "--help"} << int(CommandLineInfo::Run) << "--help";
        QTest::newRow("unknown option") << QStringList{"--zoom"} << int(CommandLineInfo::Error) << "";
        QTest::newRow("two files") << QStringList{"a.nif", "b.nif"} << int(CommandLineInfo::Error) << "";
    }

    void commandLineArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        QFETCH(QString, file);
        std::vector<std::string> argv;
        for (const QString& arg : args)
            argv.push_back(arg.toStdString());
        const CommandLineInfo info = ParseCommandLine(argv);
        QCOMPARE(int(info.nAction), action);
        if (action == CommandLineInfo::Run)
            QCOMPARE(QString::fromStdString(info.strFileName), file);
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
