#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QStandardPaths>
#include <QUrl>

#include "FolderItem.h"
#include "QtInternal.h"

namespace platform {
namespace {
FolderItem location(QStandardPaths::StandardLocation kind) {
  const QString path = QStandardPaths::writableLocation(kind);
  if (path.isEmpty()) return {};
  return GetFolderItem(fromQ(path));
}
}  // namespace

namespace SpecialFolder {
FolderItem ApplicationData() { return location(QStandardPaths::GenericDataLocation); }

FolderItem Preferences() {
#if defined(Q_OS_MACOS)
  return GetFolderItem(fromQ(QDir::homePath() + "/Library/Preferences"));
#else
  return location(QStandardPaths::GenericConfigLocation);
#endif
}

FolderItem Desktop() { return location(QStandardPaths::DesktopLocation); }
}  // namespace SpecialFolder

FolderItem ApplicationBundleResources() {
  const QString executableFolder = QCoreApplication::applicationDirPath();
  if (executableFolder.isEmpty()) return {};
  FolderItem resources = GetFolderItem(fromQ(executableFolder)).Parent().Child("Resources");
  return resources.Directory() ? resources : FolderItem();
}

bool FolderItem::Launch() const {
  if (IsNil() || !Exists()) return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(toQ(AbsolutePath())));
}

Picture FolderItem::OpenAsPicture() const {
  if (IsNil()) return {};
  QPixmap pixmap;
  if (!pixmap.load(toQ(AbsolutePath()))) return {};
  return Picture(std::make_shared<const Picture::Image>(Picture::Image{pixmap}));
}

int Picture::Width() const { return image_ ? image_->pixmap.width() : 0; }
int Picture::Height() const { return image_ ? image_->pixmap.height() : 0; }

}  // namespace platform
