// Save As in the window: the export dialog driven through its own name box,
// type box and buttons, with the files it writes.

#include <filesystem>

#include "AppHarness.h"
#include "app/FileExportDialog.h"
#include "app/QtUiServices.h"

namespace {

// Runs Save As; `drive` works the export dialog, which is cancelled if it is still open.
void SaveAs(AppHarness& app, const std::function<void(CFileExportDialog*)>& drive)
{
    bool driven = false;
    QTimer::singleShot(0, app.Frame(), [&] {
        if (auto* dialog = qobject_cast<CFileExportDialog*>(QApplication::activeModalWidget())) {
            drive(dialog);
            driven = true;
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    app.Frame()->OnCommand(ID_FILE_SAVE_AS);
    QVERIFY(driven);
}

// Clicks Save; answers an overwrite question, if one comes, with `answer`, and says whether one came.
bool ClickSave(CFileExportDialog* dialog, QMessageBox::StandardButton answer = QMessageBox::No)
{
    bool asked = false;
    QTimer::singleShot(0, dialog, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = true;
            box->button(answer)->click();
        }
    });
    dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Save)->click();
    return asked;
}

}  // namespace

class SaveAsTest : public QObject {
    Q_OBJECT
    TempDir m_dir;

private slots:
    void opensInTheShownFilesFolderRenamesByTypeAndAsksBeforeReplacing()
    {
        AppHarness app;
        std::filesystem::create_directories(m_dir.File("out"));
        TextureImage({24, 16, 2, 3}).save(QString::fromStdString(m_dir.File("shown.png")));
        app.Open(m_dir.File("shown.png"));
        // The file dialogs from here on are the real ones.
        QtUiServices real;
        real.SetMainFrame(app.Frame());
        app.m_ui.m_onFileDialog = [&real](const FileDialogRequest& request) { return real.FileDialog(request); };
        const std::string saved = m_dir.File("out/picture.tga");
        CDibImage& shown = *app.Doc()->GetActiveImage();
        shown.WriteTga(m_dir.File("alone.tga"));
        SaveAs(app, [&](CFileExportDialog* dialog) {
            QLineEdit* name = dialog->GetNameBox();
            QComboBox* type = dialog->GetTypeBox();
            QCOMPARE(dialog->directory().absolutePath(), QString::fromStdString(m_dir.Path()));
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
        // A folder typed with the name; the Targa type picked by key, after the alpha type at the end.
        SaveAs(app, [&](CFileExportDialog* dialog) {
            dialog->GetNameBox()->setText(QString::fromStdString(m_dir.File("out/picture")));
            QTest::keyClick(dialog->GetTypeBox(), Qt::Key_End);
            QCOMPARE(dialog->GetTypeBox()->currentText(), QStringLiteral("PNG with alpha (*.png)"));
            QTest::keyClick(dialog->GetTypeBox(), Qt::Key_Up);
            QCOMPARE(dialog->GetNameBox()->text(), QString::fromStdString(saved));
            QVERIFY(!ClickSave(dialog));
        });
        QCOMPARE(ReadFileBytes(saved), ReadFileBytes(m_dir.File("alone.tga")));
        // The next dialog opens where the last file went. A name typed with the extension of another type (the
        // bitmap type chosen) takes that type: the Targa file is replaced only after a Yes, and stays a Targa.
        SaveAs(app, [&](CFileExportDialog* dialog) {
            QCOMPARE(dialog->directory().absolutePath(), QString::fromStdString(m_dir.File("out")));
            dialog->GetNameBox()->setText(QStringLiteral("picture.tga"));
            QVERIFY(ClickSave(dialog, QMessageBox::No) && dialog->isVisible());
            QCOMPARE(dialog->GetTypeIndex(), 3);
            QVERIFY(ClickSave(dialog, QMessageBox::Yes) && !dialog->isVisible());
        });
        QCOMPARE(ReadFileBytes(saved), ReadFileBytes(m_dir.File("alone.tga")));
        // A name without an extension gets the type's, and the question is asked of that name.
        shown.WritePngFile(m_dir.File("alone.png"));
        WriteFileBytes(m_dir.File("out/plain.png"), {1});
        SaveAs(app, [&](CFileExportDialog* dialog) {
            QTest::keyClick(dialog->GetTypeBox(), Qt::Key_Down);
            dialog->GetNameBox()->setText(QStringLiteral("plain"));
            QVERIFY(ClickSave(dialog, QMessageBox::Yes) && !dialog->isVisible());
        });
        QCOMPARE(ReadFileBytes(m_dir.File("out/plain.png")), ReadFileBytes(m_dir.File("alone.png")));
        QVERIFY(app.m_ui.Texts().empty());
    }
};

QTEST_MAIN(SaveAsTest)
#include "save_as_test.moc"
