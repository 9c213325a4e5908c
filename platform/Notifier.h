#pragma once
// A notice on the desktop that closes by itself: how Kelvo tells of a trouble
// a user must act on when it was started from a menu or at login, where
// nobody reads what it writes to standard error.

#include <QString>

namespace kelvo {

struct Notice {
    QString summary; // what is wrong, in one line
    QString body;    // why, and the one step to take: sentences, one a line
    QString page;    // the address of the user guide's page about it
    QString pageTitle; // that page's title, as the guide shows it

    // The body with a last line that names the guide's page and gives its
    // address: the notice as plain text.
    QString text() const;
    // That last line's words before the address.
    QString seeAlso() const;
};

class Notifier {
public:
    virtual ~Notifier() = default;

    // Shows `notice` for some seconds, then it goes by itself; returns at
    // once, never waiting for anyone to read it. Quietly shows nothing
    // where the desktop has no way to show it.
    virtual void show(const Notice& notice) = 0;

    // Waits until what show() was given has reached the desktop, or is
    // known never to, for at most `ms` milliseconds: for a program that ends
    // next.
    virtual void settle(int ms) { (void)ms; }
};

} // namespace kelvo
