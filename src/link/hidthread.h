#pragma once

#include <QByteArray>
#include <QThread>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

struct hid_device_;

// The program's only link to the ORV: finds it, opens it, polls it every 100 ms on its own
// thread and hands each valid status report to the window. The GUI thread writes through
// HID_vWrite().
class hidthread : public QThread
{
    Q_OBJECT

public:
    // The period is the time between two cycles; only tests shorten it.
    explicit hidthread(QObject *parent = nullptr, int iPeriodMs = 100);
    ~hidthread() override;

    // Once, on the GUI thread, before start(); runs the first presence check.
    void HID_vConfigure(int iVendorId, int iProductId, int iReportLength);
    void HID_vCheckPresence();
    // Writes one output report (report ID first) if a device is open; drops it otherwise.
    void HID_vWrite(const unsigned char *pucData, std::size_t uiLength);
    // Builds the command report for (code, value) and writes it: both programs send this way.
    void HID_vSendCommand(quint8 ucCode, qint32 iValue);
    // Before start(): how many queued reports one cycle may read. The window keeps the
    // device's pace of one; a command line waiting for answers takes what has come.
    void HID_vSetReadsPerCycle(int iReads);
    // Before HID_vConfigure(): the one ORV to take among several, by path or serial number,
    // wherever it is plugged in again. Empty, the first one hidapi finds, as the window takes.
    void HID_vSelect(const std::string &sSelector);

signals:
    void HID_vConnectedSignal(bool status);
    void HID_vInputMessageSignal(QByteArray data);

protected:
    void run() override;

private:
    void vCycle(unsigned char *pucBuffer, std::size_t uiBufferSize);
    bool bClose(); // true if a handle was open

    std::atomic<bool> bPresent{false};
    std::atomic<bool> bStop{false};
    hid_device_ *pDevice = nullptr; // guarded by mutexDevice
    quint16 usVendorId = 0;
    quint16 usProductId = 0;
    quint8 ucReportLength = 0;
    const int iPeriodMs;
    int iReadsPerCycle = 1;
    std::string sSelector;
    std::string sPath; // where the selected ORV was listed last; link thread only once started
    static constexpr int kMaxFailedReads = 3;
    int iFailedReads = 0; // consecutive, worker thread only
    // hidapi is not thread-safe on one handle (read and write share its error string), and a
    // write must never meet a close: every call on the handle holds this. A std::mutex rather
    // than a QMutex so that ThreadSanitizer sees the locking (Qt's is not instrumented).
    std::mutex mutexDevice;
};
