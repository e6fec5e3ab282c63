#include "Platform/Desktop/Layer.h"

#include "Platform/Desktop/View.h"

namespace platform {

void Layer::changed() {
  owner_.changed(ViewChange::layer);
}

}  // namespace platform
