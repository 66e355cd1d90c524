#pragma once
// The parts of a set written on a fixed drive. Each part is written under a
// scratch name beside its own, and the parts take their names together once
// the set is complete: a set of the same name that was there stays whole
// until then (its parts are what the user sees if the writing fails or is
// stopped), and comes back if putting the new one in place fails part-way.
// The old set's parts that the new one does not have go last.

#include <QString>
#include <vector>

class ZipSpanParts {
public:
    explicit ZipSpanParts(const QString& archive);
    ~ZipSpanParts();
    ZipSpanParts(const ZipSpanParts&) = delete;
    ZipSpanParts& operator=(const ZipSpanParts&) = delete;

    // The file part `disk` (from 0) is written to, named on first use.
    QString Writing(int disk);
    // Gives parts 0 to `lastDisk` their names and removes the old set's
    // later parts. False when they could not be put in place: the old set
    // is back, the new parts are scratch again, errno is kept and `failed`
    // names the file that could not be renamed.
    bool Commit(int lastDisk, QString& failed);
    // Removes every scratch part written so far.
    void Discard();

private:
    QString archive_;
    std::vector<QString> scratch_;
};
