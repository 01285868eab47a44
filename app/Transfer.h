// The product import that a run with the argument "transfer" performs before the main loop.
#pragma once

// Fills the product catalogue from the import source and returns.
void RunTransfer();
