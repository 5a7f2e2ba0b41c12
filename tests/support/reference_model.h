// The OBJ/MTL reading rules written the plain way, for tests: each file is
// read into a list of lines, each line split into a list of token strings,
// and numbers go through the C library (atof; strtoll, which is atoi with a
// defined result on overflow). Model::Load must give exactly what this gives.
#pragma once

#include <string>

#include "geometry/model.h"

// Loads path into model like Model::Load, printing the same lines.
bool LoadReferenceModel(Model& model, const std::string& path);

// True when the two models hold the same bits: floats compared as bit
// patterns, so that -0 differs from 0 and a NaN equals itself. Otherwise
// false, with the first difference described in difference.
bool SameModel(const Model& a, const Model& b, std::string& difference);
