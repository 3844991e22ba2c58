#include "Main.h"

#include "platform/Dialogs.h"

#include <QTime>
#include <algorithm>
#include <cmath>

namespace lumicade {

const char* const kProductName = "Lumicade";
const char* const kMakerWebSite = "https://lumicade.example/";

QString AppTitleFromProductName(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;  // nothing to cut at: keep the name as it is
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

void SetAppTitle()
{
    setApplicationTitle(AppTitleFromProductName(QString::fromLatin1(kProductName)));
}

void TimeSeededRandom::Randomize(double seed)
{
    engine_.seed(static_cast<std::mt19937::result_type>(std::llround(seed * 1000.0)));
}

double TimeSeededRandom::Rnd()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
}

double SecondsSinceMidnight()
{
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

int DrawOneToHundred(RandomSource& random)
{
    double fraction = random.Rnd();
    // A source that strays outside [0, 1) still gives a number of the range.
    if (!std::isfinite(fraction))
        fraction = 0.0;
    fraction = std::clamp(fraction, 0.0, 0.99);
    return static_cast<int>(std::floor(fraction * 100.0)) + 1;
}

void VisitWebSiteByChance(RandomSource& random, Shell& shell)
{
    random.Randomize(SecondsSinceMidnight());
    if (DrawOneToHundred(random) == 7)
        shell.open(QString::fromLatin1(kMakerWebSite));
}

}  // namespace lumicade
