#pragma once
// The unzip page's open dialog texts and the extension rule of file names (also used by the icons and the batch page).

#include <QString>
#include <cstdint>

namespace UnzipListing {

// The open dialog's title and filter on the unzip page.
QString OpenDialogTitle();
QString OpenDialogFilter();

// The extension of a file name with its dot ("" when there is none).
QString Extension(const QString& name);

} // namespace UnzipListing
