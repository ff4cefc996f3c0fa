#include "runtime/ui/backend.h"

namespace rt::ui {

void InstallBackend(Backend* backend) { SetDialogHost(backend); }

}  // namespace rt::ui
