// The Chebyshev coefficient tables of the gamma and error functions, from
// their generated data file.
#include "special/series_tables.h"

namespace velm {

#include "special/series_data.inc"

}  // namespace velm
