#pragma once
// The program's end of one quarn-imagedecode helper: starts it on the first
// request, sends it one path at a time and reads the pixels back. A helper
// that dies (DevIL crashed on the picture), answers out of step or takes too
// long is put down; the request counts as a failed decode, and the next
// request starts a new helper. One decoder belongs to one thread.

#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>

class QProcess;

struct TDecodeResult {
    enum Outcome {
        Decoded,        // Image holds the picture
        Failed,         // the helper answered with a failure (Status, Error)
        HelperCrashed,  // the helper died or hung on this picture
        HelperMissing,  // the helper could not be started
    };
    Outcome outcome = Failed;
    int32_t Status = 0;   // ImageDecodeProtocol::Status
    uint32_t Error = 0;   // DevIL's error code
    QImage Image;         // Format_RGB32 when decoded
};

class TImageDecoder {
public:
    // `helper` is the program to start; by default quarn-imagedecode beside this program.
    explicit TImageDecoder(QString helper = QString());
    ~TImageDecoder();
    TImageDecoder(const TImageDecoder&) = delete;
    TImageDecoder& operator=(const TImageDecoder&) = delete;

    TDecodeResult Decode(const QString& path);
    // Ends the helper (it is started again by the next request).
    void Stop();
    bool Running() const;
    const QString& HelperPath() const { return helper_; }

    // How long one picture may take before the helper counts as hung.
    int TimeoutMs = 60000;

    // The helper's path beside the program.
    static QString DefaultHelperPath();

private:
    bool ensureStarted();
    bool readExactly(char* into, qint64 size);
    TDecodeResult putDown();
    QString helper_;
    std::unique_ptr<QProcess> process_;
};
