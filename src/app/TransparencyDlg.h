#pragma once
// The "Image Transparency" dialog: a slider from "0%" to "100%" transparency
// and one OK button; Escape cancels. The chosen alpha is 255 − the position.
#include <QDialog>

#include <cstdint>

class QSlider;

class CTransparencyDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTransparencyDlg(QWidget* parent = nullptr);

    // The alpha chosen; set only when the dialog was closed with OK.
    uint8_t GetAlpha() const { return m_nAlpha; }
    QSlider* GetSlider() const { return m_slider; }

public slots:
    void accept() override;

private:
    uint8_t m_nAlpha = 255;
    QSlider* m_slider = nullptr;
};
