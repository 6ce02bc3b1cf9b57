#include "engine/shared_flags.h"

namespace tavik {

SharedFlag StopRequested{0};
SharedFlag AutomationMode{0};

}  // namespace tavik
