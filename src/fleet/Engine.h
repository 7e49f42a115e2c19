#pragma once

// The three engines the Agent installs and drives on a Node.
namespace fleet {

enum class Engine { MediaMtx, Gost, Ffmpeg };

} // namespace fleet
