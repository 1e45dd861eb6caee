#include "engine/app_config.h"

#include "engine/startup.h"
#include "platform/fixed_text.h"

namespace engine {

void FillAppConfig(AppConfig& config, const platform::StoredSettings& stored) {
    platform::CopyToField(config.baseUrl, kAlternativeServiceBaseUrl);
    platform::CopyToField(config.registrar, stored.registration.registrar);
    platform::CopyToField(config.serial, stored.registration.serial);
    platform::CopyToField(config.email, stored.registration.email);
    platform::CopyToField(config.language, stored.language);
    if (stored.deviceSet) config.device = stored.device;
}

}  // namespace engine
