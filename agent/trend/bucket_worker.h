// The bucket-change worker: a queue of requests to change a control's ring
// size, the thread that serves it, and the conversion of a history file to
// the new size (the old file is kept as "<index>.NT$" until the new one is
// complete, so a conversion cut off at any moment can be undone at the next
// start-up).
//
// Results: 0 success, 1 failure.
// Thread safety: everything runs with controlSemaphore held (or during
// start-up), except the worker thread's own wait for requests and
// resumeBucketWorker, which any thread may call.
#pragma once

#include "agent/trend/control.h"

namespace trend {

constexpr int kBucketQueueEntries = 100;

// Bucket-change worker. startBucketWorker creates it suspended and empties the
// queue (1 = failure, reported); resumeBucketWorker starts it or wakes it for
// a queued request (safe from any thread, never loses a wake-up);
// stopBucketWorker ends it (the caller holds controlSemaphore).
int startBucketWorker();
void resumeBucketWorker();
void stopBucketWorker();
// 1 when the queue is full (the request is dropped).
int requestBucketChange(Control* control, DWORD newBuckets);
// Converts the control's history to newBuckets slots (the worker's step; the
// caller holds controlSemaphore and has written back and dropped the cache).
void convertHistoryBuckets(Control* control, DWORD newBuckets);
// Renames <index>.NT to <index>.<newExtension>, replacing an existing one.
int rename_trend_file(DWORD controlIndex, const char* newExtension);
// Writes the new <index>.NT of newBuckets slots from <index>.NT$, which holds
// a ring of oldBuckets slots. The control's ring fields change only on success.
int create_new_size_trend_file(Control* control, DWORD oldBuckets, DWORD newBuckets);

}  // namespace trend
