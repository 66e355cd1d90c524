#pragma once
// DoCloseCode: the close sequence that ends every run (once), and the wait
// for a single-archive operation that is still running when the window is
// asked to close.

#include <QObject>
#include <functional>

class QTimer;
class TBatchPage;
class TCreatePage;
class TMainHost;
class TSettingsKeeper;
class TUnzipPage;
struct TAppState;

class TCloseSequence : public QObject {
    Q_OBJECT
public:
    struct Parts {
        TMainHost& host;
        TAppState& state;
        TSettingsKeeper& keeper;
        TUnzipPage& unzip;
        TCreatePage& create;
        TBatchPage& batch;
        QList<QTimer*> timers;
        std::function<void()> freeGzip;
    };
    TCloseSequence(Parts parts, QObject* parent = nullptr) : QObject(parent), p_(std::move(parts)) {}

    void DoCloseCode();
    bool Done() const { return done_; }

    // Whether a single-archive operation is running under the current call.
    std::function<bool()> OperationRunning;
    // Whether the window may close now. When not, `close` is called again
    // once the operation has ended and no dialog is open.
    bool MayCloseNow(const std::function<void()>& close);

private:
    Parts p_;
    bool done_ = false;
    QTimer* waiter_ = nullptr;
    std::function<void()> close_;
};
