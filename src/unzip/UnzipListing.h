#pragma once
// Text of the unzip list's rows, shared by the listing and its tests.

#include <QString>
#include <cstdint>

namespace UnzipListing {

// The open dialog's title and filter on the unzip page.
QString OpenDialogTitle();
QString OpenDialogFilter();

// A stored name split for a row: "/" becomes "\"; `caption` is the file-name
// part, `path` the folder part ending in "\" (empty at the archive's root).
void SplitStoredName(const QString& stored, QString& caption, QString& path);

// The extension of a file name with its dot ("" when there is none).
QString Extension(const QString& name);

// A DOS date-time in the system's short date and long time (without the
// zone); "" for an invalid value.
QString DateText(uint32_t dosDateTime);

// `total` + `size`, held at INT32_MAX instead of wrapping.
int32_t AddToTotal(int32_t total, uint64_t size);

} // namespace UnzipListing
