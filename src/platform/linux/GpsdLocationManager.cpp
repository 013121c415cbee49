#include "trevalo/platform/linux/GpsdLocationManager.h"

#include <cmath>

#include "platform/linux/GpsdProbe.h"
#include "platform/linux/GpsdReceiver.h"
#include "platform/linux/LibgpsSession.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/RealTimeRunLoop.h"

namespace trevalo::platform {

Error GpsdLocationManager::unreachableError() {
  return Error(kErrorDomain, kErrorUnreachable,
               {{Error::kLocalizedDescriptionKey, "gpsd cannot be reached"}});
}

Error GpsdLocationManager::connectionLostError() {
  return Error(kErrorDomain, kErrorConnectionLost,
               {{Error::kLocalizedDescriptionKey, "The connection to gpsd was lost"}});
}

bool GpsdLocationManager::answers(const Options& options, double timeoutSeconds) {
  return GpsdProbe::answers(options.host, options.port, timeoutSeconds);
}

std::shared_ptr<GpsdLocationManager> GpsdLocationManager::make(std::shared_ptr<RunLoop> runLoop,
                                                               Options options) {
  if (options.host.empty() || options.port.empty()) {
    throw Exception(Exception::kInvalidArgument, "gpsd needs a host and a port");
  }
  if (!(options.minimumRetryDelay > 0.0) ||
      !(options.maximumRetryDelay >= options.minimumRetryDelay) ||
      !std::isfinite(options.maximumRetryDelay)) {
    throw Exception(Exception::kInvalidArgument,
                    "the retry delays must be positive, finite and ordered");
  }
  return std::make_shared<GpsdLocationManager>(Key{}, std::move(runLoop), options);
}

GpsdLocationManager::GpsdLocationManager(Key, std::shared_ptr<RunLoop> runLoop,
                                         const Options& options)
    : SoftwareLocationManager(runLoop) {
  // On a real-time loop the session is read on the loop's own thread (one wake-up per report
  // instead of two); a virtual-time loop, which waits on nothing, has the receiver's thread
  // read it.
  receiver_ = std::make_unique<GpsdReceiver>(
      *this,
      [host = options.host, port = options.port] {
        return std::make_unique<LibgpsSession>(host, port);
      },
      GpsdReceiver::Options{.minimumRetryDelay = options.minimumRetryDelay,
                            .maximumRetryDelay = options.maximumRetryDelay},
      std::dynamic_pointer_cast<RealTimeRunLoop>(runLoop));
}

GpsdLocationManager::~GpsdLocationManager() {
  // The receiver's thread feeds this manager: it ends before anything of the manager goes.
  receiver_.reset();
}

bool GpsdLocationManager::isConnected() const {
  return receiver_->isConnected();
}

void GpsdLocationManager::demandChanged() {
  if (receiver_) receiver_->wake();
}

}  // namespace trevalo::platform
