#pragma once
// Program-wide start-up helpers: the application title, the occasional
// visit of our web site, and the product's fixed names.
#include <QString>
#include <random>

namespace lumicade {

class Shell;

extern const char* const kProductName;     // "Lumicade"
extern const char* const kMakerWebSite;    // opened now and then at start-up

// The title rule: cut the text before its last blank at least once, and again
// while it is longer than 40 characters. A name without a blank stays whole.
QString AppTitleFromProductName(const QString& productName);

// Sets the application title (the title of message boxes that name none) from the product name.
void SetAppTitle();

// The random numbers of the start-up draw, behind a seam tests control.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Randomize(double seed) = 0;
    // A fraction in [0, 1).
    virtual double Rnd() = 0;
};

class TimeSeededRandom : public RandomSource {
public:
    void Randomize(double seed) override;
    double Rnd() override;

private:
    std::mt19937 engine_{std::random_device{}()};
};

double SecondsSinceMidnight();

// The draw: a whole number from 1 to 100.
int DrawOneToHundred(RandomSource& random);

// One start in a hundred, on average, opens our web site. The outcome of
// opening it is not examined.
void VisitWebSiteByChance(RandomSource& random, Shell& shell);

}  // namespace lumicade
