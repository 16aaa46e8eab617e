#pragma once

namespace zef {

// Who may use the line. A session that runs its exchanges on a thread of its own lets another
// thread (the window's) use the line in between, one at a time: whoever calls Hold() has it,
// once the job running on the line's thread is done, until its event loop comes round again.
// A sequence of exchanges made from one handler therefore never has another job's exchanges in
// between, as when everything ran on one thread.
class LineGate {
public:
    virtual ~LineGate() = default;
    // Does nothing on the line's own thread, and for a thread that holds the line already.
    virtual void Hold() = 0;
};

} // namespace zef
