#include "hidthread.h"

#include "deviceaccess.h"
#include "report.h"

#include <hidapi.h>

#include <algorithm>
#include <vector>

hidthread::hidthread(QObject *parent, int iPeriodMs) : QThread(parent), iPeriodMs(iPeriodMs) {}

hidthread::~hidthread()
{
    bStop = true;
    wait();
    bClose();
    hid_exit();
}

void hidthread::HID_vConfigure(int iVendorId, int iProductId, int iReportLength)
{
    usVendorId = static_cast<quint16>(iVendorId);
    usProductId = static_cast<quint16>(iProductId);
    ucReportLength = static_cast<quint8>(iReportLength);
    HID_vCheckPresence();
}

void hidthread::HID_vSelect(const std::string &sSelector)
{
    this->sSelector = sSelector;
}

void hidthread::HID_vCheckPresence()
{
    if (!sSelector.empty()) {
        const std::vector<ListedDevice> listed = listDevices(usVendorId, usProductId);
        const ListedDevice *pFound = selectDevice(listed, sSelector);
        sPath = pFound ? pFound->path : std::string();
        bPresent = pFound != nullptr;
        return;
    }
    hid_device_info *pList = hid_enumerate(usVendorId, usProductId);
    bPresent = pList != nullptr;
    hid_free_enumeration(pList);
}

void hidthread::HID_vWrite(const unsigned char *pucData, std::size_t uiLength)
{
    if (!bPresent)
        return;
    std::unique_lock<std::mutex> lock(mutexDevice);
    if (pDevice == nullptr)
        return;
    // A failed write is dropped: the device's state is read back on the next connection.
    hid_write(pDevice, pucData, uiLength);
}

void hidthread::HID_vSendCommand(quint8 ucCode, qint32 iValue)
{
    const report::Command command = report::buildCommand(ucCode, iValue);
    HID_vWrite(command.data(), command.size());
}

void hidthread::HID_vSetReadsPerCycle(int iReads)
{
    iReadsPerCycle = std::max(iReads, 1);
}

void hidthread::run()
{
    // Validation looks at six bytes, whatever report length was configured.
    std::vector<unsigned char> buffer(std::max<std::size_t>(ucReportLength, report::kStatusSize));
    while (!bStop) {
        vCycle(buffer.data(), buffer.size());
        QThread::msleep(static_cast<unsigned long>(iPeriodMs));
    }
    // The thread that opened the handle closes it. Taking the mutex as its last act also
    // orders all it did before the destructor, which takes it after wait(): QThread::wait()
    // synchronises inside Qt, where ThreadSanitizer cannot see it.
    bClose();
}

void hidthread::vCycle(unsigned char *pucBuffer, std::size_t uiBufferSize)
{
    if (!bPresent) {
        if (bClose())
            emit HID_vConnectedSignal(false);
        HID_vCheckPresence();
        return;
    }

    std::unique_lock<std::mutex> lock(mutexDevice);
    if (pDevice == nullptr) {
        pDevice = sSelector.empty() ? hid_open(usVendorId, usProductId, nullptr)
                                    : hid_open_path(sPath.c_str());
        if (pDevice == nullptr)
            return; // listed but refused (permissions?): retried next cycle
        hid_set_nonblocking(pDevice, 1);
        lock.unlock();
        emit HID_vConnectedSignal(true);
        lock.lock(); // only this thread closes, so the handle is still the one just opened
    }
    // Only this thread closes, so the handle stays the one checked above between reads.
    for (int iReads = 0; iReads < iReadsPerCycle; ++iReads) {
        if (!lock.owns_lock())
            lock.lock();
        std::fill(pucBuffer, pucBuffer + uiBufferSize, 0);
        const int iRead = hid_read(pDevice, pucBuffer, uiBufferSize);
        lock.unlock();

        if (iRead < 0) {
            // A failed read alone does not mean the device is gone; the enumeration decides.
            HID_vCheckPresence();
            // But a handle that keeps failing while the device is listed is dead: the ORV was
            // unplugged and plugged back between two checks. Reconnect to the new one.
            if (bPresent && ++iFailedReads >= kMaxFailedReads) {
                bClose();
                emit HID_vConnectedSignal(false);
            }
            return;
        }
        iFailedReads = 0;
        if (iRead == 0)
            return;
        if (report::isValidStatus(pucBuffer, uiBufferSize))
            emit HID_vInputMessageSignal(
                QByteArray(reinterpret_cast<const char *>(pucBuffer), report::kStatusSize));
    }
}

bool hidthread::bClose()
{
    std::unique_lock<std::mutex> lock(mutexDevice);
    iFailedReads = 0;
    if (pDevice == nullptr)
        return false;
    hid_close(pDevice);
    pDevice = nullptr;
    return true;
}
