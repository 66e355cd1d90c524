// The engine's message mechanism, busy cursor and life cycle.
#include "TZipEngine.h"

#include "TZipEngineUser.h"
#include "ZipSpanOutput.h"
#include "ZipSpanState.h"

#include <QCursor>
#include <QGuiApplication>
#include <QThread>

TZipEngine::TZipEngine() = default;

TZipEngine::~TZipEngine()
{
    CloseInFile();
    while (busyDepth_ > 0)
        EndBusy();
}

void TZipEngine::showMessage(const QString& text)
{
    if (!Unattended && user_)
        user_->ShowMessage(text);
}

void TZipEngine::IssueMessage(int id, const QString& appended)
{
    const QString text = LoadZipStr(id) + appended;
    LastMessage = text;
    ErrCode = id;
    showMessage(text);
    if (OnMessage)
        OnMessage(*this, 0, text);
}

void TZipEngine::IssueException(const EZipEngine& e)
{
    if (e.Display())
        showMessage(e.Message());
    ErrCode = e.ResourceId();
    LastMessage = e.Message();
    if (OnMessage)
        OnMessage(*this, 0, e.Message());
}

void TZipEngine::TraceLine(const QString& line)
{
    if (Trace && OnMessage)
        OnMessage(*this, 0, line);
}

static bool onGuiThread()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
           && QThread::currentThread() == QCoreApplication::instance()->thread();
}

void TZipEngine::BeginBusy()
{
    if (busyDepth_++ == 0 && onGuiThread()) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        cursorSet_ = true;
    }
}

void TZipEngine::EndBusy()
{
    if (busyDepth_ <= 0)
        return;
    if (--busyDepth_ == 0 && cursorSet_) {
        cursorSet_ = false;
        if (onGuiThread())
            QGuiApplication::restoreOverrideCursor();
    }
}
