#pragma once

// Builds a scene file for the scene engine from a fuzzer's input: the
// default Color page (scenes/color-page.json) in one of its states, or an
// empty window, which the input then damages as scene-engine nodes, written
// out by the engine itself. The damage covers what a broken or unusual
// Resolve may present: roles and labels close to the real ones, values of
// every kind, unreadable children, huge fan-out, deep nesting, hidden nodes,
// delayed effects, refused operations and odd windows.
//
// The scene is valid by construction, except where the input asks for one of
// the few things the loader must refuse (nesting beyond its bound, a bind
// format it does not take); those are rare so that most inputs reach the
// helper.

#include <string>

#include "fuzz/bytes.h"

namespace trovemark::fuzz {

// The scene as JSON text, ready for `Scene::parse`.
std::string randomScene(Bytes& bytes);

}  // namespace trovemark::fuzz
