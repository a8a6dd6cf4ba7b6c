// A port-number selector whose items name the device behind each number; the panel file asks
// for it with the class PortSelector. Its values stay the numbers the logic reads.
#pragma once

#include <QComboBox>

namespace kivrel::platform
{

class PortSelector : public QComboBox
{
    Q_OBJECT

  public:
    explicit PortSelector(QWidget *parent = nullptr);
    ~PortSelector() override;

    // "COM1  ttyUSB0 · FT232R USB UART · A50285BI" for every item, from a fresh look at the
    // machine's ports or as of the last one.
    void relabel(bool look);
    void showPopup() override;
};

} // namespace kivrel::platform
