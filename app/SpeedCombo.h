#pragma once
// A drop-down list that tells its owner just before the list opens, so the
// entries can be filled from the drive at that moment.
#include <QComboBox>

#include <functional>

namespace kestrel::app {

class TSpeedCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    std::function<void()> OnDropDown;

    void showPopup() override {
        if (OnDropDown) OnDropDown();
        QComboBox::showPopup();
    }
};

}  // namespace kestrel::app
