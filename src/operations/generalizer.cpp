// The abstract interfaces' key functions and the generalizer factories.
#include "ostrel/operations/generalizer.hpp"

#include "ostrel/operations/generalizer_area.hpp"
#include "ostrel/operations/generalizer_douglas_peucker.hpp"
#include "ostrel/operations/generalizer_point_array.hpp"
#include "ostrel/operations/generalizer_visvalingam_whyatt.hpp"

namespace ostrel {

PointArrayAccessAdapter::~PointArrayAccessAdapter() = default;
Generalizer::~Generalizer() = default;
AreaFunction::~AreaFunction() = default;
SimpleArea::~SimpleArea() = default;
DouglasPeuckerGeneralizer::~DouglasPeuckerGeneralizer() = default;
VisvalingamWhyattGeneralizer::~VisvalingamWhyattGeneralizer() = default;

std::unique_ptr<Generalizer> MakeDouglasPeuckerGeneralizer() {
  return std::make_unique<DouglasPeuckerGeneralizer>();
}

std::unique_ptr<Generalizer> MakeVisvalingamWhyattGeneralizer() {
  return std::make_unique<VisvalingamWhyattGeneralizer>();
}

}  // namespace ostrel
