#pragma once

// What every page says for a Node whose record lacks the Agent's address or token; a request for such
// a Node is never sent.
inline constexpr char kNoAgentEndpointText[] = "缺少 Agent API 信息";
