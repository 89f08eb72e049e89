#include "app/AboutDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/AppIcons.h"
#include "app/CommandTable.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("AboutDlg");
    setWindowTitle(QString::fromLatin1(kAboutCaption));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName("AboutIcon");
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));

    auto* version = new QLabel(QString::fromLatin1(kAboutVersion), this);
    version->setObjectName("AboutVersion");
    version->setTextFormat(Qt::PlainText);  // no access-key prefixes, no markup

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("AboutOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(16, 12, 12, 16);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1, Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    layout->setColumnMinimumWidth(1, 180);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
