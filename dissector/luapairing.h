#ifndef KWN_DISSECTOR_LUAPAIRING_H
#define KWN_DISSECTOR_LUAPAIRING_H

// The pairing of requests and replies in the generated dissector, linked as
// Wireshark's own protocols link theirs: kwn.reply_in on a request (the
// frame of each reply), kwn.request_in and kwn.reply_time on a reply, and an
// expert note on a request that had no reply. Frames are paired in the first
// pass over a capture, in order; what a request gathered shows in the
// second (tshark -2, or a frame clicked in Wireshark).
//
// The rule and its limits are those of replies/replypairing.cpp, written
// once more in Lua step by step (the same hold, the same order of looking,
// the same clock set back): a change there is a change here.

namespace dissector {

inline const char kLuaPairing[] = R"LUA(
kwn.prefs.reply_timeout = Pref.uint("Reply timeout (ms)", 1000,
    "How long a node has to answer a request, 1 to 60000 ms (kwn-frame replies --timeout)")
local pf_reply_in = ProtoField.framenum("kwn.reply_in", "Reply in", base.NONE, frametype.RESPONSE)
local pf_request_in = ProtoField.framenum("kwn.request_in", "Request in", base.NONE, frametype.REQUEST)
local pf_reply_time = ProtoField.relative_time("kwn.reply_time", "Reply time",
                                               "Time from the request to this reply")
FIELDS[#FIELDS + 1] = pf_reply_in
FIELDS[#FIELDS + 1] = pf_request_in
FIELDS[#FIELDS + 1] = pf_reply_time
local ex_unanswered = ProtoExpert.new("kwn.unanswered", "Request without a reply within the reply timeout",
                                      expert.group.SEQUENCE, expert.severity.NOTE)
kwn.experts = { ex_unanswered }

local MAX_HELD = 4096
local BROADCAST = 16777215
local timeout_us
-- The pass: requests held in the order they came (held[first..last], each
-- { frame, time, source, destination, open, replies }), the open requests
-- to a node by sender and receiver (oldest first), the newest open one to
-- all by sender, the newest open group request, and the latest time.
local P
-- By frame number: a reply's { request, delay } (µs), a request's
-- { replies = { frames } } and whether it was dropped.
local LINK

function kwn.init()
    timeout_us = math.max(1, math.min(60000, kwn.prefs.reply_timeout)) * 1000
    P = { held = {}, first = 1, last = 0, to_node = {}, to_all = {}, to_group = nil, now = nil }
    LINK = {}
end

local function node_key(source, destination) return source * 16777216 + destination end

local function unlink(e)
    e.open = false
    if e.destination == BROADCAST then
        if P.to_all[e.source] == e then P.to_all[e.source] = nil end
    elseif e.destination == 0 then
        if P.to_group == e then P.to_group = nil end
    else
        local key = node_key(e.source, e.destination)
        local list = P.to_node[key]
        if not list then return end
        for i, x in ipairs(list) do
            if x == e then table.remove(list, i); break end
        end
        if #list == 0 then P.to_node[key] = nil end
    end
end

local function leave_front(full)
    local e = P.held[P.first]
    P.held[P.first] = nil
    P.first = P.first + 1
    local open = e.open
    if open then unlink(e) end
    if full and open and e.replies == 0 then LINK[e.frame].dropped = true end
end

local function drain()
    while P.first <= P.last do
        local e = P.held[P.first]
        if e.open and P.now - e.time <= timeout_us then break end
        leave_front(false)
    end
end

local function pass_time(t)
    if P.now ~= nil and t < P.now - timeout_us then
        while P.first <= P.last do leave_front(false) end
        P.now = nil
    end
    if P.now == nil or t > P.now then P.now = t end
    drain()
end

local function within(e, t) return e and e.open and t >= e.time and t - e.time <= timeout_us end

local function open_request(frame, t, source, destination)
    if P.last - P.first + 1 >= MAX_HELD then leave_front(true) end
    local e = { frame = frame, time = t, source = source, destination = destination, open = true, replies = 0 }
    P.last = P.last + 1
    P.held[P.last] = e
    LINK[frame] = { replies = {} }
    if destination == BROADCAST then P.to_all[source] = e
    elseif destination == 0 then P.to_group = e
    else
        local key = node_key(source, destination)
        local list = P.to_node[key] or {}
        list[#list + 1] = e
        P.to_node[key] = list
    end
end

local function pair_reply(frame, t, source, asker)
    if asker == BROADCAST or asker == 0 then return end
    local found
    local list = P.to_node[node_key(asker, source)]
    for _, e in ipairs(list or {}) do
        if within(e, t) then found = e; break end
    end
    if not found and within(P.to_all[asker], t) then found = P.to_all[asker] end
    if not found and within(P.to_group, t) then found = P.to_group end
    if not found then return end
    found.replies = found.replies + 1
    local replies = LINK[found.frame].replies
    replies[#replies + 1] = frame
    LINK[frame] = { request = found.frame, delay = t - found.time }
    if found.destination ~= BROADCAST and found.destination ~= 0 then unlink(found) end
end

-- A record in the pass (r its decoding, nil for noise), and its links in the tree.
local function pair_frame(pinfo, root, r)
    if P == nil then kwn.init() end
    local n = pinfo.number
    if not pinfo.visited then
        local t = math.floor(pinfo.abs_ts * 1000000 + 0.5)
        pass_time(t)
        if r and r.role == "request" then open_request(n, t, r.source, r.destination)
        elseif r and r.role == "reply" then pair_reply(n, t, r.source, r.destination) end
        drain()
    end
    local link = LINK[n]
    if not link then return end
    if link.request then
        root:add(pf_request_in, link.request)
        root:add(pf_reply_time, NSTime.new(math.floor(link.delay / 1000000), (link.delay % 1000000) * 1000))
    else
        for _, frame in ipairs(link.replies) do root:add(pf_reply_in, frame) end
        if #link.replies == 0 and pinfo.visited and not link.dropped then
            root:add_proto_expert_info(ex_unanswered)
        end
    end
end
)LUA";

} // namespace dissector

#endif
