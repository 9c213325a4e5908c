#pragma once
// The one file Kelvo keeps: the desktop portal's token for the permission
// to type, so that the user, who may not click easily, is asked once and
// not at every start. The token is bound to the application ID it was
// granted under, which is kept beside it:
//
//     app-id=org.kelvo.Kelvo
//     restore-token=mZ0dVx3Hk2s_f9QpLr1aWw
//
// (app-id= with nothing after it when the portal knew Kelvo by no ID). A
// file that is anything else is not used, and the reason is said; it is
// replaced whole, never written in place, so a crash mid-write leaves the
// old token or the new one.

#include <QString>

#include <optional>

namespace kelvo {

struct RememberedGrant {
    QString appId;
    QString token;
};

class RestoreTokenFile {
public:
    explicit RestoreTokenFile(QString path) : path_(std::move(path)) {}

    // $XDG_STATE_HOME/kelvo/remote-desktop-token, or under
    // ~/.local/state when XDG_STATE_HOME is unset or not absolute; empty
    // when there is no home either.
    static QString defaultPath();

    const QString& path() const { return path_; }

    // The grant kept, or nothing: `why` is then empty when there is no file
    // (nothing was remembered), else a clause saying what is wrong with it.
    std::optional<RememberedGrant> read(QString* why) const;
    // Puts `grant` in place of whatever the file held (mode 0600, its
    // folder made 0700 when missing); false, with `why`, when it cannot.
    // A grant that read() would refuse is refused here too.
    bool write(const RememberedGrant& grant, QString* why) const;
    // Removes the file, when there is one (a folder in its place is left).
    void forget() const;

    // A portal's restore token: a UUID in its usual text form, or letters,
    // digits and _ up to MaxTokenLength of them.
    static bool isToken(const QString& text);
    static constexpr int MaxTokenLength = 128;

private:
    QString path_;
};

} // namespace kelvo
