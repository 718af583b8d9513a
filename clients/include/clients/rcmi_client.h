// CRcmiClient: the framework's SWITCH client. Its Reply applies permission events to the
// agent-wide flags and hands every event to the agent.
#pragma once

#include <functional>

#include "clients/switch_client.h"

class CRcmiClient : public CSwitchClient {
  public:
    using ReplyHandler = std::function<void(CSwitchCommand* command)>;

    // The agent's entry for every event (its RcmiReply). Set before events are enabled.
    void SetReplyHandler(ReplyHandler handler) { m_ReplyHandler = std::move(handler); }

    void Reply(CSwitchCommand* command) override;

  private:
    ReplyHandler m_ReplyHandler;
};
