// The find modes of trees, index managers, datasets and filters. The numbers are what callers
// pass and store, so they never change.
#pragma once

enum TFindMode : int {
  fmBelow = 0,         // the greatest key less than the search key
  fmAtOrBelow = 1,     // an equal key, else the greatest key less than it
  fmExact = 2,         // an equal key (otherwise the cursor stays on the insertion point)
  fmAtOrAbove = 3,     // an equal key, else the smallest key greater than it
  fmAbove = 4,         // the key after an equal one, else the smallest key greater
  fmNearest = 5,       // like fmAtOrAbove; steps back one key when no greater key exists
  fmExactVisible = 6,  // like fmExact over the key fields before the first hidden one
};
