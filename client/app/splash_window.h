// The splash window: a built-in picture, or the file named by setting 12 when it differs from
// "ZentraLogo.png"; the window takes the picture's size and shows the busy cursor while up.
#pragma once

#include <QWidget>
#include <QPixmap>
#include <functional>
#include <string>

namespace zentra::db {
class Database;
}

namespace zentra::app {

struct ProgramFolders;

class TfSplash : public QWidget {
    Q_OBJECT
public:
    // Throws when setting 12 cannot be read; a picture file that cannot be loaded is reported
    // through `onPictureError` and the built-in picture is used.
    TfSplash(db::Database& db, const ProgramFolders& folders,
             const std::function<void(const std::string&)>& onPictureError);
    ~TfSplash() override;
    const QPixmap& picture() const { return picture_; }
    bool usesBuiltInPicture() const { return builtIn_; }

    static QPixmap builtInPicture();

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    QPixmap picture_;
    bool builtIn_ = true;
    bool cursorSet_ = false;
};

}  // namespace zentra::app
