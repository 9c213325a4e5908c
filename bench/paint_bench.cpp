// What painting costs: tinting a face, one full repaint of a button, and a
// repaint of every control of the keyboard. Prints medians; asserts nothing.
//   bench_paint [ROUNDS]
// Under QT_SCALE_FACTOR (2, say) the faces are painted at that many device
// pixels to the logical pixel, as on a screen scaled so.
#include "button/ZorvicClick.h"
#include "keyboard/frmKelvo.h"
#include "platform/fake/FakeKeySender.h"
#include "platform/fake/FakeTone.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace kelvo;

namespace {

// Median time of one call, in microseconds, over `rounds` timed batches.
double medianMicros(int rounds, int perRound, const std::function<void()>& work)
{
    std::vector<double> samples;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < perRound; ++i)
            work();
        samples.push_back(clock.nsecsElapsed() / 1000.0 / perRound);
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 50;

    QImage face(100, 40, QImage::Format_RGB32);
    face.fill(QColor(53, 74, 214));
    PictureTint tint;
    const double tintUs = medianMicros(rounds, 100, [&] { tint.TintPicture(face, face, 255, 30); });

    QWidget host;
    host.resize(200, 100);
    auto* button = new ZorvicClick(&host);
    button->setGeometry(0, 0, 100, 40);
    button->InitProperties();
    auto icon = std::make_shared<Picture>();
    icon->kind = Picture::Icon;
    icon->image = QImage(40, 40, QImage::Format_ARGB32_Premultiplied);
    icon->image.fill(QColor(255, 255, 255, 128));
    button->setButtonIcon(icon);
    button->setButtonIconShow(true);
    button->setButtonIconPos(IconLeft);
    button->setCaption(QStringLiteral("Enter"));
    button->setTint(true);
    host.show();
    int state = 0;
    const double redrawUs = medianMicros(rounds, 50, [&] { button->Redraw(state++ % 3); });

    FakeKeySender sender;
    FakeTone tone;
    frmKelvo form(sender, tone);
    form.Form_Load();
    form.show();
    const QList<ZorvicClick*> controls = form.findChildren<ZorvicClick*>();
    const double allUs = medianMicros(rounds, 5, [&] {
        for (ZorvicClick* c : controls)
            c->Redraw(StateNormal);
    });
    const double shownUs = medianMicros(rounds, 5, [&] {
        for (ZorvicClick* c : controls)
            c->Redraw(StateNormal);
        form.repaint();
    });

    std::printf("paint benchmark (offscreen, %g device pixels to the logical pixel, median of %d rounds)\n",
                form.devicePixelRatioF(), rounds);
    std::printf("  tint of a 100 x 40 face              %8.1f us   (target <= 20 us)\n", tintUs);
    std::printf("  repaint of a 100 x 40 button         %8.1f us   (target <= 100 us; tint, icon, caption)\n", redrawUs);
    std::printf("  repaint of all %d keyboard buttons   %8.1f us   (target <= 5000 us)\n",
                int(controls.size()), allUs);
    std::printf("    and the window drawn from them     %8.1f us\n", shownUs);
    return 0;
}
