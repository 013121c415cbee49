#include "simulation/ExampleDay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <random>
#include <vector>

#include "simulation/TimeText.h"

namespace trevalo::simulation {

namespace {

constexpr double kMetersPerDegree = 111195.0;
constexpr double kCosLatitude = 0.6579;  // cos(48.85°)

struct Point {
  double latitude, longitude;
};

double northOf(Point a, Point b) {
  return (b.latitude - a.latitude) * kMetersPerDegree;
}
double eastOf(Point a, Point b) {
  return (b.longitude - a.longitude) * kMetersPerDegree * kCosLatitude;
}
double distance(Point a, Point b) {
  return std::hypot(northOf(a, b), eastOf(a, b));
}
Point moved(Point p, double north, double east) {
  return {p.latitude + north / kMetersPerDegree,
          p.longitude + east / (kMetersPerDegree * kCosLatitude)};
}

struct Building {
  const char* id;
  const char* name;
  const char* category;
  const char* subcategory;
  const char* street;
  const char* number;
  Point centre;
  double halfNorth, halfEast;  // m; 0 for a venue known by its point only
  const char* wifi;
};

// The example city's venues: the three of the day, and neighbours to tell them apart from.
const Building kHome{
    "home", "Home", "residence", "apartment", "Rue des Tanneurs", "8", {48.8430, 2.3390},
    12,     16,     "HomeNet"};
const Building kCafe{"cafe-lumiere", "Café Lumière",    "food", "cafe", "Rue Haute",
                     "12",           {48.8487, 2.3468}, 8,      10,     "Lumiere-Guests"};
const Building kOffice{"office", "Northgate Office", "work", "office", "Avenue du Nord",
                       "40",     {48.8619, 2.3698},  25,     35,       "Northgate-Staff"};
const Building kNeighbours[] = {
    {"bakery",
     "Boulangerie du Coin",
     "food",
     "bakery",
     "Rue Haute",
     "18",
     {48.8487, 2.3478},
     0,
     0,
     nullptr},
    {"pharmacy",
     "Pharmacie Centrale",
     "health",
     "pharmacy",
     "Rue Haute",
     "3",
     {48.8476, 2.3458},
     0,
     0,
     nullptr},
    {"market",
     "Marché Couvert",
     "shopping",
     "market",
     "Rue des Tanneurs",
     "30",
     {48.8446, 2.3372},
     20,
     25,
     nullptr},
    {"gym", "Forme Plus", "sport", "gym", "Avenue du Nord", "52", {48.8630, 2.3722}, 0, 0, nullptr},
    {"station",
     "Gare du Nord-Est",
     "transport",
     "station",
     "Place de la Gare",
     "1",
     {48.8575, 2.3610},
     40,
     60,
     nullptr},
    {"school",
     "École des Tilleuls",
     "education",
     "school",
     "Rue des Tilleuls",
     "5",
     {48.8455, 2.3425},
     20,
     30,
     nullptr}};

std::string number(double value, int decimals) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// Normal noise that drifts: each value mostly the one before, as a receiver's error is.
class Drift {
 public:
  explicit Drift(std::mt19937_64& random) : random_(random) {}
  double next(double sigma) {
    value_ = kKeep * value_ + std::sqrt(1.0 - kKeep * kKeep) * gaussian();
    return value_ * sigma;
  }

 private:
  static constexpr double kKeep = 0.95;
  double uniform() { return (static_cast<double>(random_() >> 11) + 0.5) * 0x1.0p-53; }
  double gaussian() {
    const double radius = std::sqrt(-2.0 * std::log(uniform()));
    return radius * std::cos(2.0 * std::numbers::pi * uniform());
  }
  std::mt19937_64& random_;
  double value_ = 0.0;
};

class DayWriter {
 public:
  DayWriter(std::uint64_t seed, double start)
      : random_(seed), north_(random_), east_(random_), accuracy_(random_), t_(start) {}

  // Stays inside `building` until `until`, drifting about its middle.
  void stay(const Building& building, double until) {
    wifi(building.wifi);
    activity(kStationary);
    Drift wanderNorth(random_), wanderEast(random_);
    while (t_ < until) {
      // One draw after the other: the order of a call's arguments is the compiler's, and the
      // files must come out the same whichever compiler built the generator.
      const double north = wanderNorth.next(0.3 * building.halfNorth);
      const double east = wanderEast.next(0.3 * building.halfEast);
      const Point truth = moved(building.centre, north, east);
      fix(truth, 35.0 + accuracy_.next(8.0), std::nullopt);
    }
  }

  // Walks the route at `pace` m/s.
  void walk(const std::vector<Point>& route, double pace) {
    wifi(nullptr);
    activity(kWalking);
    follow(
        route, [pace](double, double) { return pace; }, 6.0);
  }

  // Drives the route: up to 12 m/s, slower near corners, stopping at the given fractions of
  // the way for `redLight` seconds each.
  void drive(const std::vector<Point>& route, std::vector<double> stops, double redLight) {
    wifi(nullptr);
    activity(kAutomotive);
    std::vector<double> cornerDistances;
    double total = 0.0;
    for (std::size_t i = 1; i < route.size(); ++i) {
      total += distance(route[i - 1], route[i]);
      cornerDistances.push_back(total);
    }
    for (double& stop : stops)
      stop *= total;
    std::size_t nextStop = 0;
    follow(
        route,
        [&](double done, double) {
          double limit = 12.0;
          // Slow to 4 m/s at corners and to a halt at the end, braking at 1.5 m/s².
          for (const double corner : cornerDistances) {
            const double ahead = corner - done;
            if (ahead >= 0.0) {
              const double target = corner == total ? 0.5 : 4.0;
              limit = std::min(limit, std::sqrt(target * target + 3.0 * ahead));
              break;
            }
          }
          if (nextStop < stops.size()) {
            const double ahead = stops[nextStop] - done;
            if (ahead <= 0.5) {
              for (int i = 0; i < static_cast<int>(redLight); ++i)
                waitAtALight();
              ++nextStop;
            } else {
              limit = std::min(limit, std::sqrt(0.25 + 3.0 * ahead));
            }
          }
          // Speed up at 2 m/s² at most.
          return std::min(limit, speed_ + 2.0);
        },
        7.0);
  }

  double time() const { return t_; }
  const std::string& trace() const { return trace_; }

 private:
  template <class Pace>
  void follow(const std::vector<Point>& route, Pace pace, double accuracy) {
    double done = 0.0;
    std::size_t leg = 1;
    double legStart = 0.0;
    speed_ = 0.0;
    while (leg < route.size()) {
      const double legLength = distance(route[leg - 1], route[leg]);
      speed_ = pace(done, legLength);
      done += speed_;
      while (leg < route.size() && done >= legStart + distance(route[leg - 1], route[leg])) {
        legStart += distance(route[leg - 1], route[leg]);
        ++leg;
      }
      if (leg >= route.size()) break;
      const Point from = route[leg - 1], to = route[leg];
      const double part = (done - legStart) / distance(from, to);
      const Point truth{from.latitude + part * (to.latitude - from.latitude),
                        from.longitude + part * (to.longitude - from.longitude)};
      const double course = std::fmod(
          std::atan2(eastOf(from, to), northOf(from, to)) * 180.0 / std::numbers::pi + 360.0,
          360.0);
      position_ = truth;
      fix(truth, accuracy + std::fabs(accuracy_.next(2.0)), std::pair{speed_, course});
    }
  }

  void waitAtALight() {
    speed_ = 0.0;
    fix(position_, 6.0 + std::fabs(accuracy_.next(2.0)), std::pair{0.0, -1.0});
  }

  void fix(Point truth, double accuracy, std::optional<std::pair<double, double>> motion) {
    const double scale = accuracy / 2.0;
    const double north = north_.next(scale);
    const double east = east_.next(scale);
    const Point seen = moved(truth, north, east);
    std::string line =
        "{\"t\":" + number(t_, 0) + ",\"type\":\"fix\",\"lat\":" + number(seen.latitude, 6) +
        ",\"lng\":" + number(seen.longitude, 6) + ",\"acc\":" + number(std::max(3.0, accuracy), 0);
    if (motion) {
      line += ",\"speed\":" + number(std::max(0.0, motion->first + 0.1 * east_.next(1.0)), 1);
      if (motion->second >= 0.0) line += ",\"course\":" + number(motion->second, 0);
    }
    trace_ += line + "}\n";
    t_ += 1.0;
    if (pendingActivity_ && ++sinceChange_ >= kClassifierDelay) {
      trace_ += "{\"t\":" + number(t_ - 1.0, 0) +
                ",\"type\":\"activity\",\"value\":" + std::to_string(*pendingActivity_) + "}\n";
      pendingActivity_.reset();
      sinceChange_ = 0;
    }
  }

  // What the phone's activity classifier reports, a few seconds into each change.
  void activity(int value) { pendingActivity_ = value; }

  void wifi(const char* name) {
    const std::string wanted = name ? name : "";
    if (wanted == wifi_) return;
    wifi_ = wanted;
    trace_ += "{\"t\":" + number(t_, 0) +
              ",\"type\":\"wifi\",\"ssid\":" + (name ? "\"" + wanted + "\"" : std::string("null")) +
              "}\n";
  }

  static constexpr int kStationary = 1, kWalking = 2, kAutomotive = 5;
  static constexpr int kClassifierDelay = 5;  // s

  std::mt19937_64 random_;
  std::optional<int> pendingActivity_;
  int sinceChange_ = 0;
  Drift north_, east_, accuracy_;
  double t_;
  double speed_ = 0.0;
  Point position_{0, 0};
  std::string wifi_;
  std::string trace_;
};

std::string feature(const Building& building) {
  std::string geometry;
  if (building.halfNorth > 0.0) {
    const Point corners[] = {moved(building.centre, -building.halfNorth, -building.halfEast),
                             moved(building.centre, -building.halfNorth, building.halfEast),
                             moved(building.centre, building.halfNorth, building.halfEast),
                             moved(building.centre, building.halfNorth, -building.halfEast)};
    geometry = "{\"type\": \"Polygon\", \"coordinates\": [[";
    for (int i = 0; i <= 4; ++i) {
      const Point& corner = corners[i % 4];
      geometry += std::string(i ? ", " : "") + "[" + number(corner.longitude, 6) + ", " +
                  number(corner.latitude, 6) + "]";
    }
    geometry += "]]}";
  } else {
    geometry = "{\"type\": \"Point\", \"coordinates\": [" + number(building.centre.longitude, 6) +
               ", " + number(building.centre.latitude, 6) + "]}";
  }
  return std::string("    {\"type\": \"Feature\", \"id\": \"") + building.id +
         "\",\n     \"properties\": {\"name\": \"" + building.name + "\", \"category\": \"" +
         building.category + "\", \"subcategory\": \"" + building.subcategory +
         "\", \"street_number\": \"" + building.number + "\", \"street_name\": \"" +
         building.street +
         "\", \"postal_code\": \"75004\", \"locality\": \"Paris\", \"country\": \"France\", "
         "\"country_code\": \"FR\"},\n     \"geometry\": " +
         geometry + "}";
}

}  // namespace

ExampleDay::Files ExampleDay::generate(std::uint64_t seed) {
  const double day = TimeText::dayStart(2024, 6, 3)->timeIntervalSince1970();  // a Monday
  const auto at = [day](int hour, int minute) { return day + hour * 3600.0 + minute * 60.0; };
  DayWriter writer(seed, at(5, 0));

  const Point homeDoor = moved(kHome.centre, -kHome.halfNorth - 2, 0);
  const Point cafeDoor = moved(kCafe.centre, -kCafe.halfNorth - 2, 0);
  const Point officeDoor = moved(kOffice.centre, -kOffice.halfNorth - 2, 0);
  const Point cafeParking{48.8500, 2.3468};
  const Point officeParking{48.8600, 2.3698};
  const Point homeParking{48.8440, 2.3380};

  writer.stay(kHome, at(6, 30));
  writer.walk({kHome.centre,
               homeDoor,
               {48.8445, 2.3390},
               {48.8445, 2.3440},
               {48.8478, 2.3440},
               {48.8478, 2.3468},
               cafeDoor,
               kCafe.centre},
              1.4);
  writer.stay(kCafe, writer.time() + 32 * 60);
  writer.walk({kCafe.centre, cafeDoor, {48.8483, 2.3475}, {48.8492, 2.3475}, cafeParking}, 1.3);
  writer.drive({cafeParking,
                {48.8530, 2.3468},
                {48.8530, 2.3600},
                {48.8590, 2.3600},
                {48.8590, 2.3698},
                officeParking},
               {0.3, 0.7}, 35);
  writer.walk({officeParking, officeDoor, kOffice.centre}, 1.4);
  writer.stay(kOffice, at(15, 30));
  writer.walk({kOffice.centre, officeDoor, officeParking}, 1.4);
  writer.drive({officeParking,
                {48.8560, 2.3698},
                {48.8560, 2.3500},
                {48.8450, 2.3500},
                {48.8450, 2.3380},
                homeParking},
               {0.25, 0.6}, 40);
  writer.walk({homeParking, {48.8440, 2.3390}, homeDoor, kHome.centre}, 1.3);
  writer.stay(kHome, at(17, 0));

  std::string venues = "{\n  \"type\": \"FeatureCollection\",\n  \"features\": [\n";
  venues += feature(kHome) + ",\n" + feature(kCafe) + ",\n" + feature(kOffice);
  for (const Building& neighbour : kNeighbours)
    venues += ",\n" + feature(neighbour);
  venues += "\n  ]\n}\n";
  return {writer.trace(), venues};
}

}  // namespace trevalo::simulation
