#include "visits/operations/TROperationDepart.h"

#include "networking/TRNetworkClient.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

TROperationDepart::TROperationDepart(std::shared_ptr<TRNetworkClient> networkClient,
                                     std::weak_ptr<TROperationDelegate> delegate,
                                     std::shared_ptr<MetaOperationDepart> operation)
    : TROperationBase(std::move(networkClient), std::move(delegate), operation),
      descriptor_(std::move(operation)) {
  if (!this->networkClient()) {
    throw Exception(Exception::kInvalidArgument, "a visit log needs a network client");
  }
}

std::string TROperationDepart::description() const {
  return "<TROperationDepart: " + descriptor_->description() + ">";
}

void TROperationDepart::execute() {
  const auto self = sharedAs<TROperationDepart>();
  try {
    networkClient()->logVenue(
        descriptor_->visit()->dictionaryRepresentation(),
        [weak = std::weak_ptr(self)](std::optional<Json> result, std::optional<Error> error) {
          if (const auto operation = weak.lock()) operation->finish(std::move(result), error);
        });
  } catch (const Exception& refused) {
    // Thrown on a queue thread, it would end the process: it is a failed attempt instead.
    postToRunLoop([self, error = errorForRefusedRequest(refused)] { self->finish({}, error); });
  }
}

void TROperationDepart::finish(std::optional<Json>, std::optional<Error> error) {
  const bool success = !error;
  // Told of successes too: they clear the tracker's failures, so its back-off relaxes.
  if (const auto tracker = delegate()) tracker->didFinishDepartOperationWithError(std::move(error));
  completeOperation(success);
}

}  // namespace trevalo
