#pragma once
// A read-only, forward-only device over a gzip file: read() returns the
// uncompressed data of every member in turn, as `gzip -d` does. Data that does
// not start with the gzip magic is passed through as it stands; bytes after a
// member that do not start another member end the data (trailingGarbage()
// tells when they were not all zeros). read() returns 0 at the
// clean end of the data and -1 when the file cannot be read or the compressed
// data is damaged (bad data, CRC or length mismatch, a member cut short);
// damaged() then tells the two apart. seek() and writing are not supported.
//
// Inflating is ISA-L's, about twice as fast as zlib's, and runs ahead of the
// reader on a thread of its own (a few MiB at most), so that whatever the
// reader does with the data overlaps it.

#include <QFile>
#include <QIODevice>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct inflate_state;

class TGzipReader : public QIODevice {
public:
    explicit TGzipReader(const QString& path, QObject* parent = nullptr);
    ~TGzipReader() override;

    // Opens the file for reading; only QIODevice::ReadOnly is accepted.
    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return true; }

    // True once read() met damaged or truncated compressed data.
    bool damaged() const { return damaged_; }
    // True once the data ended at bytes after a member that are neither
    // another member nor zero padding.
    bool trailingGarbage() const { return trailing_; }
    // The size of the compressed file.
    qint64 sourceSize() const { return sourceSize_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    enum class State { Plain, Gzip, End, Failed };
    // One piece of inflated data handed from the inflating thread: `result`
    // is its size, 0 at the end, -1 on failure.
    struct Chunk {
        std::unique_ptr<char[]> data;
        qint64 result = 0;
        qint64 size() const { return result > 0 ? result : 0; }
    };

    // The inflating thread's side: everything from here to in_ is its own
    // while it runs.
    void inflateAhead();
    qint64 inflateInto(char* data, qint64 maxSize);
    qint64 fail(const QString& text, bool damage);
    bool refill(qint64 keep);
    // A new inflater state for the member that starts at the input.
    void startMember();
    // Reads the rest of the file: true when every byte left is zero.
    bool onlyZerosLeft();

    void stopInflating();

    QFile file_;
    std::unique_ptr<inflate_state> zs_;
    bool atEof_ = false;
    bool inMember_ = false;
    State state_ = State::End;
    bool damagedAhead_ = false;
    bool trailingAhead_ = false;
    QString errorAhead_;
    std::vector<unsigned char> in_;

    // Shared under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk> ready_;
    bool stopping_ = false;
    std::thread inflater_;

    // The reader's side.
    bool plain_ = false;
    Chunk current_;
    qint64 taken_ = 0;       // bytes of current_ already handed out
    bool finished_ = false;  // the final chunk has been taken
    qint64 sourceSize_ = 0;
    bool damaged_ = false;
    bool trailing_ = false;
};
