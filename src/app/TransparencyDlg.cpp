#include "app/TransparencyDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {

constexpr int kSliderMax = 255;

QLabel* PlainLabel(const char* text, QWidget* parent)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

CTransparencyDlg::CTransparencyDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("TransparencyDlg");
    setWindowTitle(QStringLiteral("Image Transparency"));
    // A caption but no close box: OK, or Escape to cancel.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName("TransparencySlider");
    m_slider->setRange(0, kSliderMax);
    m_slider->setTickPosition(QSlider::NoTicks);
    m_slider->setMinimumWidth(240);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("TransparencyOk");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(PlainLabel("Transparency Level", this), 0, 0, 1, 3, Qt::AlignLeft);
    layout->addWidget(m_slider, 1, 0, 1, 3);
    layout->addWidget(PlainLabel("0%", this), 2, 0, Qt::AlignLeft);
    layout->addWidget(PlainLabel("50%", this), 2, 1, Qt::AlignHCenter);
    layout->addWidget(PlainLabel("100%", this), 2, 2, Qt::AlignRight);
    layout->addWidget(ok, 3, 1, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CTransparencyDlg::accept()
{
    m_nAlpha = static_cast<uint8_t>(kSliderMax - m_slider->value());
    QDialog::accept();
}
