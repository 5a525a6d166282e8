#pragma once

#include "ledbrightness.h"
#include "report.h"

#include <QByteArray>
#include <QMainWindow>

class QLabel;
class Ui_MainWindow;
class hidthread;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // iLinkPeriodMs: the device link's cycle, shortened only by tests.
    explicit MainWindow(QWidget *parent = nullptr, int iLinkPeriodMs = 100);
    ~MainWindow() override;

    // Every report the window sends leaves through these two.
    void sendCommand(quint8 ucCode, qint32 iValue);
    void sendRequest(quint8 ucCode);

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
    void showFirmware(report::Version version);
    void showInterState(int iState);
    void setIntervalometerLocked(bool bLocked);

    Ui_MainWindow *ui;
    hidthread *pHidThread = nullptr;
    LedBrightnessTable aiLedPwm{};
    qint32 iShotCounter = 0;
    QLabel *labelConnection = nullptr;
    QLabel *labelFirmware = nullptr;
    QLabel *labelCharge = nullptr;
    QLabel *labelBattery = nullptr;
};
