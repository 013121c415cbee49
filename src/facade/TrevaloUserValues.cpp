// The facade's uploads of user values and device statistics.
#include "networking/TRNetworkClient.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

namespace {

// Uploads need a token; without one the client refuses them, and so does the facade, at once,
// on the calling thread (not later on the run loop).
void requireToken(const TRNetworkClient& client) {
  if (client.apiKey().empty()) throw Exception(TRNetworkClient::kMissingApiKeyException);
}

}  // namespace

void Trevalo::updateUserValues(const Json& values) {
  updateUserValues(values, nullptr);
}

void Trevalo::updateUserValues(const Json& values, UserValuesHandler handler) {
  requireToken(*trContext_->networkClient);
  onRunLoop([weakSelf = weak_from_this(), values, handler = std::move(handler)] {
    if (const auto self = weakSelf.lock()) self->updateUserValuesOnMain(values, handler);
  });
}

void Trevalo::updateUserValuesOnMain(const Json& values, UserValuesHandler handler) {
  std::shared_ptr<TRUserValues> update = TRUserValues::getFailedUser();
  if (update) {
    update->updateWithNewValues(values);
  } else {
    update = TRUserValues::initWithDictionary(values, true);
  }
  const auto sent = TRUserValues::getSavedUser();
  if ((sent && sent->isEqualToUserValues(update)) || !update->hasInfo()) {
    if (handler) {
      TRUserValues::saveFailedUser(nullptr);
      handler(std::nullopt, std::nullopt);
    }
    return;
  }
  trContext_->networkClient->updateUserValues(
      update->toDictionary(), [handler = std::move(handler), update](std::optional<Json> answer,
                                                                     std::optional<Error> failure) {
        if (failure) {
          // Kept for the next time the application enters the background.
          TRUserValues::saveFailedUser(update);
        } else {
          TRUserValues::saveSentUser(update);
          TRUserValues::saveFailedUser(nullptr);
        }
        if (handler) handler(std::move(answer), std::move(failure));
      });
}

void Trevalo::updateStats(const std::shared_ptr<TRUserValues>& stats) {
  if (!stats) return;
  requireToken(*trContext_->networkClient);
  onRunLoop([weakSelf = weak_from_this(), stats] {
    if (const auto self = weakSelf.lock()) self->updateStatsOnMain(stats);
  });
}

void Trevalo::updateStatsOnMain(const std::shared_ptr<TRUserValues>& stats) {
  trContext_->networkClient->updateUserValues(
      stats->toDictionary(), [stats](std::optional<Json>, std::optional<Error> failure) {
        if (!failure) TRUserValues::saveStats(stats);
      });
}

void Trevalo::resendFailedUserInfo() {
  // Before the first start there is no token to send with; the next entry into the background
  // after a start sends what waits.
  if (trContext_->networkClient->apiKey().empty()) return;
  onRunLoop([weakSelf = weak_from_this()] {
    if (const auto self = weakSelf.lock()) self->resendFailedUserInfoOnMain();
  });
}

void Trevalo::resendFailedUserInfoOnMain() {
  if (const auto failed = TRUserValues::getFailedUser()) {
    updateUserValuesOnMain(failed->dictionary, nullptr);
  }
  const auto stats = TRUserValues::getCurrentStats();
  if (!stats || !stats->isValid()) updateStatsOnMain(TRUserValues::actualStatsValues());
}

}  // namespace trevalo
