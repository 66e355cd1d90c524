#pragma once
// Writing a set straight from the zip module: the module's output (a
// QzOutput) goes into the parts as it comes, keeping each local header whole
// in one part. Patches of headers already written land in the part that
// holds them; cutting back (an entry written again) removes the parts after
// the cut. The central directory is held back and written at the end with
// the set's disk numbers and per-part offsets.

#include "../../modules/common/ZipLibApi.h"

#include <QByteArray>
#include <QHash>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TZipEngine;
class EZipEngine;

class ZipSpanOutput {
public:
    ZipSpanOutput(TZipEngine& engine, const QString& destination);
    ~ZipSpanOutput();
    ZipSpanOutput(const ZipSpanOutput&) = delete;
    ZipSpanOutput& operator=(const ZipSpanOutput&) = delete;

    const QzOutput* Output() const { return &output_; }
    // The failure that stopped the writing (null while none); the module
    // sees only that it cannot write on.
    const EZipEngine* Error() const { return error_.get(); }
    // Writes the directory and the end record once the module finished;
    // 0, or the engine's results of WriteSpan (the message issued). Every
    // part is dated as the newest entry when `datedAsNewest`.
    int32_t Finish(bool datedAsNewest);
    // Removes every part written: the set was not made.
    void Discard();

private:
    int32_t guarded(const std::function<void()>& work);
    void start();
    void put(const char* data, qint64 n);
    void writeAt(qint64 offset, const char* data, qint64 n);
    void truncate(qint64 offset);
    // The part that holds the byte at `offset` of the archive.
    int partOf(qint64 offset) const;
    QString partName(int disk) const;

    TZipEngine& e_;
    QString destination_;
    QzOutput output_{};
    std::unique_ptr<EZipEngine> error_;
    bool started_ = false;
    qint64 pos_ = 0;          // bytes of the archive written (without the marker)
    qint64 keep_ = 0;         // what the next write keeps in one part
    bool inDirectory_ = false;
    QByteArray directory_;    // the module's directory and end record
    std::vector<qint64> partStart_; // where each part begins in the archive
    std::vector<qint64> partRoom_;  // the room each part had
    QHash<qint64, QPair<int32_t, qint64>> headers_; // archive offset -> (disk, offset)
};
