#include "service/ServiceStore.h"

#include <nlohmann/json.hpp>

#include "service/SqliteStatement.h"

namespace trevalo::service {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS visits (
  id INTEGER PRIMARY KEY, device_id TEXT NOT NULL, venue_id TEXT NOT NULL,
  address_id TEXT NOT NULL, lat REAL NOT NULL, lng REAL NOT NULL,
  start_ms INTEGER NOT NULL, end_ms INTEGER NOT NULL, received_at REAL NOT NULL,
  body TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS visits_by_device ON visits (device_id);
CREATE TABLE IF NOT EXISTS user_uploads (
  id INTEGER PRIMARY KEY, device_id TEXT NOT NULL, received_at REAL NOT NULL, body TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS user_values (
  device_id TEXT NOT NULL, key TEXT NOT NULL, value TEXT NOT NULL, position INTEGER NOT NULL,
  PRIMARY KEY (device_id, key));
CREATE TABLE IF NOT EXISTS recorded_locations (
  id INTEGER PRIMARY KEY, session TEXT NOT NULL, body TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS recorded_visits (
  id INTEGER PRIMARY KEY, session TEXT NOT NULL, body TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS event_log (
  id INTEGER PRIMARY KEY, device_id TEXT NOT NULL, time TEXT NOT NULL, message TEXT NOT NULL);
)sql";

std::vector<Json> bodiesOf(SqliteStatement& statement) {
  std::vector<Json> bodies;
  while (statement.step())
    bodies.push_back(Json::parse(statement.text(0)));
  return bodies;
}

}  // namespace

ServiceStore::ServiceStore(const std::string& path) : database_(path) {
  database_.execute(kSchema);
}

bool ServiceStore::logVisit(const LoggedVisit& visit, double receivedAt) {
  SqliteDatabase::Transaction transaction(database_);
  auto known = database_.prepare(
      "SELECT 1 FROM visits WHERE device_id = ? AND venue_id = ? AND address_id = ? AND "
      "start_ms = ? AND end_ms = ? AND body = ?");
  known.bind(1, visit.deviceId)
      .bind(2, visit.venueId)
      .bind(3, visit.addressId)
      .bind(4, visit.startMilliseconds)
      .bind(5, visit.endMilliseconds)
      .bind(6, visit.body.dump());
  if (known.step()) return false;
  database_
      .prepare(
          "INSERT INTO visits (device_id, venue_id, address_id, lat, lng, start_ms, end_ms, "
          "received_at, body) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
      .bind(1, visit.deviceId)
      .bind(2, visit.venueId)
      .bind(3, visit.addressId)
      .bind(4, visit.latitude)
      .bind(5, visit.longitude)
      .bind(6, visit.startMilliseconds)
      .bind(7, visit.endMilliseconds)
      .bind(8, receivedAt)
      .bind(9, visit.body.dump())
      .run();
  transaction.commit();
  return true;
}

std::vector<LoggedVisit> ServiceStore::visits(const std::optional<std::string>& deviceId) {
  auto statement = database_.prepare(
      "SELECT device_id, venue_id, address_id, lat, lng, start_ms, end_ms, body FROM visits "
      "WHERE ?1 IS NULL OR device_id = ?1 ORDER BY id");
  statement.bind(1, deviceId);
  std::vector<LoggedVisit> visits;
  while (statement.step()) {
    visits.push_back({statement.text(0), statement.text(1), statement.text(2), statement.real(3),
                      statement.real(4), statement.integer(5), statement.integer(6),
                      Json::parse(statement.text(7))});
  }
  return visits;
}

void ServiceStore::saveUserValues(const std::string& deviceId,
                                  const std::vector<std::pair<std::string, Json>>& values,
                                  const Json& body, double receivedAt) {
  SqliteDatabase::Transaction transaction(database_);
  database_.prepare("INSERT INTO user_uploads (device_id, received_at, body) VALUES (?, ?, ?)")
      .bind(1, deviceId)
      .bind(2, receivedAt)
      .bind(3, body.dump())
      .run();
  auto upsert = database_.prepare(
      "INSERT INTO user_values (device_id, key, value, position) VALUES (?1, ?2, ?3, "
      "(SELECT COALESCE(MAX(position), 0) + 1 FROM user_values WHERE device_id = ?1)) "
      "ON CONFLICT (device_id, key) DO UPDATE SET value = excluded.value");
  for (const auto& [key, value] : values) {
    upsert.bind(1, deviceId).bind(2, key).bind(3, value.dump()).run();
    upsert.reset();
  }
  transaction.commit();
}

std::vector<std::pair<std::string, Json>> ServiceStore::userValues(const std::string& deviceId) {
  auto statement =
      database_.prepare("SELECT key, value FROM user_values WHERE device_id = ? ORDER BY position");
  statement.bind(1, deviceId);
  std::vector<std::pair<std::string, Json>> values;
  while (statement.step())
    values.emplace_back(statement.text(0), Json::parse(statement.text(1)));
  return values;
}

void ServiceStore::recordLocations(const std::string& session, const std::vector<Json>& locations) {
  SqliteDatabase::Transaction transaction(database_);
  auto insert = database_.prepare("INSERT INTO recorded_locations (session, body) VALUES (?, ?)");
  for (const Json& location : locations) {
    insert.bind(1, session).bind(2, location.dump()).run();
    insert.reset();
  }
  transaction.commit();
}

std::vector<Json> ServiceStore::recordedLocations(const std::string& session) {
  auto statement =
      database_.prepare("SELECT body FROM recorded_locations WHERE session = ? ORDER BY id");
  statement.bind(1, session);
  return bodiesOf(statement);
}

void ServiceStore::recordVisits(const std::string& session, const std::vector<Json>& visits) {
  SqliteDatabase::Transaction transaction(database_);
  auto insert = database_.prepare("INSERT INTO recorded_visits (session, body) VALUES (?, ?)");
  for (const Json& visit : visits) {
    insert.bind(1, session).bind(2, visit.dump()).run();
    insert.reset();
  }
  transaction.commit();
}

std::vector<Json> ServiceStore::recordedVisits(const std::string& session) {
  auto statement =
      database_.prepare("SELECT body FROM recorded_visits WHERE session = ? ORDER BY id");
  statement.bind(1, session);
  return bodiesOf(statement);
}

void ServiceStore::logEvent(const std::string& deviceId, const std::string& time,
                            const std::string& message) {
  SqliteDatabase::Transaction transaction(database_);
  database_.prepare("INSERT INTO event_log (device_id, time, message) VALUES (?, ?, ?)")
      .bind(1, deviceId)
      .bind(2, time)
      .bind(3, message)
      .run();
  transaction.commit();
}

std::vector<std::pair<std::string, std::string>> ServiceStore::events(const std::string& deviceId) {
  auto statement =
      database_.prepare("SELECT time, message FROM event_log WHERE device_id = ? ORDER BY id");
  statement.bind(1, deviceId);
  std::vector<std::pair<std::string, std::string>> events;
  while (statement.step())
    events.emplace_back(statement.text(0), statement.text(1));
  return events;
}

}  // namespace trevalo::service
