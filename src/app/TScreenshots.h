#pragma once
// `quarn --screenshot`: every page, the tree browser, the options dialog's
// pages and the image windows rendered into PNG files.

#include <QStringList>

class QWidget;
class TPageSwitcher;
class TUnzipPage;
struct Settings;

namespace TScreenshots {
// Writes the PNGs into `folder`; returns the files written.
QStringList Save(QWidget& window, TPageSwitcher& pages, TUnzipPage& unzip, Settings& settings, const QString& folder);
}
