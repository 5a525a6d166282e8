#pragma once

#include "ledbrightness.h"

#include <QByteArray>
#include <QMainWindow>

class QLabel;
class Ui_MainWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

public slots:
    void refreshConnection(bool bStatus);
    void refreshSensitivityMax(int iValMin);
    void refreshSensitivityMin(int iValMax);
    void inputData(QByteArray qbaData);
    void setPwmLed(int);
    void setCurSensitivity(int);
    void setPrefocus(bool);
    void setInhibitTime(int);
    void setInterDelay(int);
    void setInterRelease(int);
    void setInterInterval(int);
    void setInterNrShot(int);
    void setInterStartStop();
    void setIntSensor(bool);
    void setAuxSensor(bool);
    void setLag();
    void startLag();
    void setAuxDelay(int);

private:
    Ui_MainWindow *ui;
    LedBrightnessTable aiLedPwm{};
    qint32 iShotCounter = 0;
    QLabel *labelConnection = nullptr;
    QLabel *labelFirmware = nullptr;
    QLabel *labelCharge = nullptr;
    QLabel *labelBattery = nullptr;
};
