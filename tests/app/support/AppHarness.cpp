#include "AppHarness.h"

#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QWidget>

#include "doc/CommandIds.h"

AppHarness::AppHarness(const std::string& commandLineFile)
    : m_app(&m_ui, &m_ui)
{
    m_app.InitInstance(commandLineFile);
    Frame()->resize(900, 700);
}

AppHarness::~AppHarness() = default;

void AppHarness::Open(const QString& path)
{
    m_ui.ChooseFile(QFile::encodeName(path).toStdString());
    Frame()->OnCommand(ID_FILE_OPEN);
    Idle();
}

QString AppHarness::Title() const
{
    return Frame()->windowTitle();
}

QString AppHarness::PaneText(unsigned nID) const
{
    QLabel* pane = Frame()->GetPane(nID);
    return pane ? pane->text() : QStringLiteral("<no pane>");
}

QString AppHarness::MessageText() const
{
    return Frame()->GetMessagePane()->text();
}

QImage AppHarness::RenderView() const
{
    return View()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void ClearSettings()
{
    CTavrelApp::SetRegistryKey();
    QSettings settings;
    settings.clear();
    settings.sync();
}

QString CompareTopLeft(const QImage& actual, const QImage& expected)
{
    if (actual.width() < expected.width() || actual.height() < expected.height())
        return QStringLiteral("rendered %1x%2, smaller than the image %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = actual.pixel(x, y) | 0xFF000000u;
            const QRgb e = expected.pixel(x, y) | 0xFF000000u;
            if (a != e)
                return QStringLiteral("pixel (%1, %2): drawn #%3, expected #%4")
                    .arg(x).arg(y).arg(a, 8, 16, QChar('0')).arg(e, 8, 16, QChar('0'));
        }
    return {};
}
