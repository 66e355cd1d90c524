#include "viewers/TImageDecoder.h"

#include "imagedecode/ImageDecodeProtocol.h"
#include "platform/Platform.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <cstring>

using namespace ImageDecodeProtocol;

QString TImageDecoder::DefaultHelperPath()
{
    return Platform::JoinPath(Platform::ProgramFilesFolder(Platform::ProgramFiles::Modules), QStringLiteral("quarn-imagedecode"));
}

TImageDecoder::TImageDecoder(QString helper) : helper_(helper.isEmpty() ? DefaultHelperPath() : std::move(helper)) {}

TImageDecoder::~TImageDecoder()
{
    Stop();
}

bool TImageDecoder::Running() const
{
    return process_ && process_->state() == QProcess::Running;
}

void TImageDecoder::Stop()
{
    if (!process_)
        return;
    if (process_->state() != QProcess::NotRunning) {
        process_->closeWriteChannel();  // end of input ends the helper
        if (!process_->waitForFinished(2000)) {
            process_->kill();
            process_->waitForFinished(2000);
        }
    }
    process_.reset();
}

bool TImageDecoder::ensureStarted()
{
    if (Running())
        return true;
    process_.reset();
    auto p = std::make_unique<QProcess>();
    // The helper's own complaints (libpng warnings and the like) are of no use here.
    p->setProcessChannelMode(QProcess::SeparateChannels);
    p->setStandardErrorFile(QProcess::nullDevice());
    p->start(helper_, {});
    if (!p->waitForStarted(10000))
        return false;
    process_ = std::move(p);
    return true;
}

TDecodeResult TImageDecoder::putDown()
{
    if (process_) {
        process_->kill();
        process_->waitForFinished(2000);
        process_.reset();
    }
    TDecodeResult r;
    r.outcome = TDecodeResult::HelperCrashed;
    return r;
}

bool TImageDecoder::readExactly(char* into, qint64 size)
{
    const QDeadlineTimer deadline(TimeoutMs);
    while (size > 0) {
        const qint64 n = process_->read(into, size);
        if (n < 0)
            return false;
        into += n;
        size -= n;
        if (size == 0)
            break;
        if (n == 0 && !process_->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
            return false;  // died, or no answer in time
    }
    return true;
}

TDecodeResult TImageDecoder::Decode(const QString& path)
{
    TDecodeResult result;
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || uint32_t(name.size()) > MaxPathBytes || name.contains('\0')) {
        result.Status = StatusBadRequest;
        result.Error = IlInvalidParam;
        return result;
    }
    if (!ensureStarted()) {
        process_.reset();
        result.outcome = TDecodeResult::HelperMissing;
        return result;
    }
    QByteArray request(8, '\0');
    const uint32_t head[2] = {RequestMagic, uint32_t(name.size())};
    std::memcpy(request.data(), head, sizeof head);
    request += name;
    if (process_->write(request) != request.size())
        return putDown();

    AnswerHeader h{};
    if (!readExactly(reinterpret_cast<char*>(&h), sizeof h) || h.magic != AnswerMagic)
        return putDown();
    result.Status = h.status;
    result.Error = h.error;
    if (h.status != StatusOk) {
        if (h.status == StatusBadRequest)
            putDown();  // the helper gave up on the stream
        result.outcome = TDecodeResult::Failed;
        return result;
    }
    // The helper checked the size before sending; a size outside the limits
    // here means the stream cannot be trusted.
    if (!SizeAllowed(h.width, h.height))
        return putDown();
    QImage image(h.width, h.height, QImage::Format_RGB32);
    if (image.isNull()) {
        // Not enough memory here: the pixels still have to be read off the pipe.
        putDown();
        result.outcome = TDecodeResult::Failed;
        result.Status = StatusTooLarge;
        result.Error = IlOutOfMemory;
        return result;
    }
    if (image.bytesPerLine() == qsizetype(h.width) * 4) {
        if (!readExactly(reinterpret_cast<char*>(image.bits()), qint64(image.sizeInBytes())))
            return putDown();
    } else {
        for (int y = 0; y < h.height; ++y)
            if (!readExactly(reinterpret_cast<char*>(image.scanLine(y)), qint64(h.width) * 4))
                return putDown();
    }
    result.outcome = TDecodeResult::Decoded;
    result.Image = std::move(image);
    return result;
}
