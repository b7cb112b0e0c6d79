#pragma once
// The repository's development keys (keys/), for tests that sign files the
// way the maker would. Anyone can sign with these; a build trusts the first
// and holds the second as revoked.

#include "kestra2g/wire/signing.h"

namespace testkeys {

const wire::KeyPair& Development();
const wire::KeyPair& DevelopmentRevoked();

}  // namespace testkeys
