// orvctl: the ORV from a shell, on the window's core and link, Qt Core only. Its commands are
// one table, which dispatches them and writes their help and the shell's completions.
#pragma once

#include "ledbrightness.h"
#include "report.h"

#include <QByteArray>
#include <QJsonValue>
#include <QObject>
#include <QStringList>

#include <csignal>
#include <map>
#include <set>
#include <utility>
#include <vector>

class QEventLoop;
class QTextStream;
class hidthread;
namespace orv {
struct Reading;
struct Setting;
} // namespace orv

class Orvctl : public QObject
{
    Q_OBJECT

public:
    enum Exit
    {
        Ok = 0,
        NoDevice = 1,      // none connected, lost, or not answering
        Usage = 2,         // a bad command or value: nothing was sent
        Denied = 3,        // listed but cannot be opened
        Hangup = 129,      // HUP
        Interrupted = 130, // Ctrl+C, but for watch
        Terminated = 143,  // TERM
    };

    // iLinkPeriodMs: the link's cycle, shortened only by tests.
    Orvctl(QTextStream &out, QTextStream &err, int iLinkPeriodMs = 100);
    ~Orvctl() override;

    // The arguments after the program's name; returns the exit status.
    int run(const QStringList &args);

    // What the shell may offer for the next word, after the words typed so far.
    static QStringList completions(const QStringList &typed);

    // A descriptor that a signal handler writes each caught signal's number to, as one byte.
    void listenForSignals(int fd);

public slots:
    // Ctrl+C ends watch cleanly and anything else as interrupted; TERM and HUP end every
    // command with their own status. The link closes as the object goes.
    void stop(int signal = SIGINT);

private slots:
    void onSignalPipe();
    void onConnected(bool bStatus);
    void onReport(QByteArray qbaData);

private:
    // Settings with their values as shown, in the order given.
    using Values = std::vector<std::pair<const orv::Setting *, qint32>>;
    // A command line as checked: what the command acts on, parsed once.
    struct Call
    {
        QStringList args;
        Values values;
        bool json = false;  // --json
        bool wait = false;  // --wait
        bool device = true; // whether it needs the ORV
    };
    struct Command
    {
        const char *name;
        const char *usage; // after "orvctl "
        const char *help;
        const char *words; // what the first argument may be, for completion
        // Takes the arguments into the call; otherwise says which one is at fault, and why.
        QString (*check)(Call &call);
        int (Orvctl::*act)(const Call &call);
    };
    static const Command kCommands[];
    static const Command *findCommand(const QString &name);
    int dispatch(const QStringList &args);
    static QString takeFlags(Call &call, const QStringList &known);
    static QString checkStatus(Call &call);
    static QString checkSet(Call &call);
    static QString checkInterval(Call &call);
    static QString checkWatch(Call &call);
    static QString checkLag(Call &call);
    static QString checkApply(Call &call);
    static QString checkList(Call &call);
    static QString checkHelp(Call &call);

    int help(const Call &call);
    int status(const Call &call);
    int set(const Call &call);
    int interval(const Call &call);
    int watch(const Call &call);
    int lag(const Call &call);
    int apply(const Call &call);
    int list(const Call &call);
    // Sends settings after reading what the ORV holds (with `changedOnly`, those that differ),
    // keeping the thresholds apart, and prints what the ORV then reports.
    int sendSettings(const Values &values, bool changedOnly);

    void printHelp(QTextStream &to, const Command *command) const; // the general help if null
    // Opens the ORV; with `waitForIt`, only starts the link, which opens it once it comes.
    int connectDevice(bool waitForIt = false);
    int fail(int code, const QString &message, const QString &more = {}); // says why, to stderr
    // One line of watch: the time, then the text, or a JSON object of the key and value.
    void event(const QString &key, const QJsonValue &value, const QString &text);
    // Sends the requests and waits for their answers, or for the time they should take: Ok,
    // or why not (NoDevice, Interrupted).
    int ask(const std::vector<StatusCode> &codes);
    int wait(int timeoutMs); // runs the event loop until finish() or the time-out (-1)
    void finish(int code);
    // The last report of that code, as a user is shown it; a null code if none came.
    orv::Reading answer(std::uint8_t code) const;
    // A report's value for JSON and as text; null where it says nothing that can be shown.
    std::pair<QJsonValue, QString> valueOf(const orv::Reading &reading) const;

    QTextStream &out;
    QTextStream &err;
    const int iLinkPeriodMs;
    const LedBrightnessTable leds;
    hidthread *link = nullptr;
    QEventLoop *loop = nullptr;
    bool watching = false;
    bool watchJson = false;   // watch --json
    bool watchAcross = false; // watch --wait: unplugging does not end it
    QString lastError;
    std::string selector; // --device
    bool connected = false;
    std::map<std::uint8_t, QByteArray> answers; // the last report of each code
    std::set<std::uint8_t> awaited;             // requests not answered yet
    qint32 shot = 0;                            // the last shot number, as the window keeps it
    bool seriesRunning = false;
    int signalFd = -1;
    int signalled = 0; // the first signal caught
};
