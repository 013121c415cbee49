#pragma once

// The SDK's public interface in one include: the facade with its delegate and context, the
// records the callbacks and queries hand over, the application's options, settings and
// constants, the debug logger, and the platform an application or a platform integrator
// installs. The simulated platform for tests and replays is included
// on its own: <trevalo/platform/simulated/SimulatedPlatform.h>.

#include "trevalo/Json.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/facade/TrevaloDelegate.h"
#include "trevalo/facade/TrevaloDelegateReference.h"
#include "trevalo/model/TRAddress.h"
#include "trevalo/model/TREvent.h"
#include "trevalo/model/TRFilter.h"
#include "trevalo/model/TRGeofence.h"
#include "trevalo/model/TRGeometry.h"
#include "trevalo/model/TRPerson.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRSearchRequest.h"
#include "trevalo/model/TRUserValues.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/model/TRVisit.h"
#include "trevalo/model/shape/TRGeometryShape.h"
#include "trevalo/model/shape/TRMultiPolygon.h"
#include "trevalo/model/shape/TRPoint.h"
#include "trevalo/model/shape/TRSinglePolygon.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Error.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Location.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/SoftwareLocationManager.h"
#include "trevalo/platform/linux/GpsdLocationManager.h"
#include "trevalo/platform/linux/LinuxWifiNetworkName.h"
#include "trevalo/platform/linux/SystemPlatform.h"
#include "trevalo/strategies/TRSetting.h"
#include "trevalo/utils/TRActivityMode.h"
#include "trevalo/utils/TRConstants.h"
#include "trevalo/utils/TRLogger.h"
#include "trevalo/utils/TROptionValue.h"
#include "trevalo/utils/TROptions.h"
