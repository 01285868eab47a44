#include "app/Transfer.h"

void RunTransfer() {
  // The import source is not connected yet; the run only records that it took place.
}
