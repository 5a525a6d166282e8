// orvctl: the ORV from a shell, through the window's own link and report code, Qt Core only.
#pragma once

#include "ledbrightness.h"
#include "report.h"

#include <QByteArray>
#include <QJsonValue>
#include <QObject>
#include <QStringList>

#include <map>
#include <utility>
#include <vector>

class QEventLoop;
class QTextStream;
class hidthread;

class Orvctl : public QObject
{
    Q_OBJECT

public:
    enum Exit
    {
        Ok = 0,
        NoDevice = 1, // none connected, lost, or not answering
        Usage = 2,    // a bad command or value: nothing was sent
        Denied = 3,   // listed but cannot be opened
        Interrupted = 130,
    };

    // iLinkPeriodMs: the link's cycle, shortened only by tests.
    Orvctl(QTextStream &out, QTextStream &err, int iLinkPeriodMs = 100);
    ~Orvctl() override;

    // The arguments after the program's name; returns the exit status.
    int run(const QStringList &args);

public slots:
    // Ctrl+C: watch ends cleanly; anything else ends interrupted.
    void stop();

private slots:
    void onConnected(bool bStatus);
    void onReport(QByteArray qbaData);

private:
    int usage(const QString &command, const QString &error = {});
    int connectDevice();
    // Sends the requests and waits for their answers, or for the time they should take: Ok,
    // or why not (NoDevice, Interrupted).
    int ask(const std::vector<StatusCode> &codes);
    const std::uint8_t *answer(std::uint8_t code) const; // the last report of that code
    int wait(int timeoutMs); // runs the event loop until finish() or the time-out (-1)
    void finish(int code);
    void send(std::uint8_t code, std::int32_t value);

    int status(bool json);
    int set(const QString &name, const QString &value);
    int watch();
    // A report as a watch line; nothing for the reports watch does not show.
    QString describe(const QByteArray &status) const;
    static QString nameOf(std::uint8_t code); // as status and watch name it; empty if none
    // The value a report carries, for JSON and as text; null if it says nothing known.
    std::pair<QJsonValue, QString> valueOf(const std::uint8_t *status) const;

    QTextStream &out;
    QTextStream &err;
    const int iLinkPeriodMs;
    const LedBrightnessTable leds;
    hidthread *link = nullptr;
    QEventLoop *loop = nullptr;
    bool watching = false;
    bool connected = false;
    std::map<std::uint8_t, QByteArray> answers; // the last report of each code
    std::map<std::uint8_t, bool> awaited;       // requests not answered yet
    std::int64_t shot = -1;                     // the last shot number reported
    bool seriesRunning = false;
};
