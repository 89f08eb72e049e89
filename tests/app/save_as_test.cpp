// Save As in the window: the export dialog driven through its own name box,
// type box and buttons, with the files it writes.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "AppHarness.h"
#include "app/FileExportDialog.h"
#include "app/QtUiServices.h"

class SaveAsTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

    // Opens a picture from its own folder; file dialogs from then on are the real ones.
    std::string OpenPicture(AppHarness& app, QtUiServices& real, const std::string& folder, const char* format)
    {
        std::filesystem::create_directories(m_dir.File(folder));
        const std::string path = m_dir.File(folder + "/shown." + format);
        TextureImage({24, 16, 2, 3}).save(QString::fromStdString(path), format);
        app.Open(path);
        real.SetMainFrame(app.Frame());
        app.m_ui.m_onFileDialog = [&real](const FileDialogRequest& request) { return real.FileDialog(request); };
        return m_dir.File(folder);
    }

    // Runs Save As; `drive` works the export dialog, which is cancelled if it is still open.
    static void SaveAs(AppHarness& app, const std::function<void(CFileExportDialog*)>& drive)
    {
        bool driven = false;
        QTimer::singleShot(0, app.Frame(), [&] {
            auto* dialog = qobject_cast<CFileExportDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            drive(dialog);
            driven = true;
            if (dialog->isVisible())
                dialog->reject();
        });
        app.Frame()->OnCommand(ID_FILE_SAVE_AS);
        QVERIFY(driven);
    }

    // Clicks Save; an overwrite question that comes is answered with `answer`.
    static QString ClickSave(CFileExportDialog* dialog, QMessageBox::StandardButton answer = QMessageBox::NoButton)
    {
        QString asked;
        QTimer::singleShot(0, dialog, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text();
                box->button(answer)->click();
            }
        });
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Save)->click();
        return asked;
    }

private slots:
    void opensInTheShownFilesFolderRenamesByTypeAndAsksBeforeReplacing()
    {
        AppHarness app;
        QtUiServices real;
        const std::string folder = OpenPicture(app, real, "first", "png");
        std::filesystem::create_directories(m_dir.File("out"));
        const std::string saved = m_dir.File("out/picture.tga");
        CDibImage& shown = *app.Doc()->GetActiveImage();
        shown.WriteTga(m_dir.File("alone.tga"));
        shown.WriteBmp(m_dir.File("alone.bmp"));
        SaveAs(app, [&](CFileExportDialog* dialog) {
            QLineEdit* name = dialog->GetNameBox();
            QComboBox* type = dialog->GetTypeBox();
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Save As Type"));
            QCOMPARE(dialog->directory().absolutePath(), QString::fromStdString(folder));
            QCOMPARE(name->text(), QStringLiteral("*.bmp"));
            QCOMPARE(type->currentIndex(), 0);
            // While it is open no second Save As can start.
            app.Idle();
            QVERIFY(!app.Frame()->GetAction(ID_FILE_SAVE_AS)->isEnabled());
            RouteCommand({app.Doc()}, ID_FILE_SAVE_AS);
            QCOMPARE(app.m_ui.m_dialogs.size(), size_t(2));

            // Typed text (null: keep), key on the type box, the name box's text after it.
            const std::tuple<const char*, Qt::Key, const char*, int> steps[] = {
                {nullptr, Qt::Key_Down, "*.png", 2},
                {"out.d/house", Qt::Key_Down, "out.d/house.tga", 3},  // a folder's dots are not the name's
                {"my.house.bmp", Qt::Key_Up, "my.png", 2},
                {"", Qt::Key_Up, "*.bmp", 1},
            };
            for (const auto& [typed, key, becomes, index] : steps) {
                if (typed) {
                    name->clear();
                    QTest::keyClicks(name, typed);
                }
                QTest::keyClick(type, key);
                QCOMPARE(name->text(), QString::fromLatin1(becomes));
                QCOMPARE(dialog->GetTypeIndex(), index);
            }
            // A pattern is not a name to save to.
            ClickSave(dialog);
            QVERIFY(dialog->isVisible());
        });
        // A folder typed with the name; the Targa type picked by key.
        SaveAs(app, [&](CFileExportDialog* dialog) {
            dialog->GetNameBox()->setText(QString::fromStdString(m_dir.File("out/picture")));
            QTest::keyClick(dialog->GetTypeBox(), Qt::Key_End);
            QCOMPARE(dialog->GetNameBox()->text(), QString::fromStdString(saved));
            QCOMPARE(ClickSave(dialog), QString());
        });
        QCOMPARE(ReadFileBytes(saved), ReadFileBytes(m_dir.File("alone.tga")));

        // The next dialog opens where the last file went. The same name with
        // the bitmap type: replaced only after a Yes, and then with a bitmap.
        SaveAs(app, [&](CFileExportDialog* dialog) {
            QCOMPARE(dialog->directory().absolutePath(), QString::fromStdString(m_dir.File("out")));
            dialog->GetNameBox()->setText(QStringLiteral("picture.tga"));
            QCOMPARE(ClickSave(dialog, QMessageBox::No),
                QStringLiteral("picture.tga already exists.\nDo you want to replace it?"));
            QVERIFY(dialog->isVisible());
            QCOMPARE(ReadFileBytes(saved), ReadFileBytes(m_dir.File("alone.tga")));
            QVERIFY(!ClickSave(dialog, QMessageBox::Yes).isEmpty());
            QVERIFY(!dialog->isVisible());
        });
        QCOMPARE(ReadFileBytes(saved), ReadFileBytes(m_dir.File("alone.bmp")));
        QVERIFY(app.m_ui.Texts().empty());
    }
};

QTEST_MAIN(SaveAsTest)
#include "save_as_test.moc"
