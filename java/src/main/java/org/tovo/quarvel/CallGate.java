package org.tovo.quarvel;

import java.util.concurrent.atomic.AtomicInteger;
import java.util.concurrent.atomic.AtomicLongArray;
import java.util.concurrent.locks.LockSupport;

/**
 * Admits calls until it is shut, and lets the one that shuts it wait until no admitted call is
 * still inside. The calls in flight are counted on stripes, one per thread (threads share a stripe
 * only beyond {@link #STRIPES} of them), each on a cache line of its own: two threads entering
 * and leaving at once do not write the same memory, as they would with one lock or one counter.
 *
 * <p>An entering thread first counts itself, then looks whether the gate is shut; the shutting
 * thread first marks it shut, then sums the stripes. All of these are volatile accesses, which
 * happen in one order: either the entering thread sees the mark and backs out, or the shutting
 * thread sees its count and waits for it.
 */
final class CallGate {
  static final int STRIPES = 16;

  // Longs between two stripes: 128 bytes, so that neighbours do not share a line, nor the pair
  // of lines that some processors fetch together.
  private static final int SPACING = 16;

  private static final AtomicInteger NEXT_STRIPE = new AtomicInteger();
  private static final ThreadLocal<Integer> STRIPE =
      ThreadLocal.withInitial(() -> NEXT_STRIPE.getAndIncrement() & (STRIPES - 1));

  private final AtomicLongArray inside = new AtomicLongArray(STRIPES * SPACING);
  private volatile boolean shut;

  /** Counts the calling thread in and answers its stripe, or -1 (counted out again) when shut. */
  int enter() {
    int slot = STRIPE.get() * SPACING;
    inside.getAndIncrement(slot);
    if (shut) {
      inside.getAndDecrement(slot);
      return -1;
    }
    return slot;
  }

  /** Counts out a call that {@link #enter()} admitted with the stripe it answered. */
  void leave(int slot) {
    inside.getAndDecrement(slot);
  }

  boolean isShut() {
    return shut;
  }

  /** Shuts the gate and returns once no admitted call is inside. */
  void shutAndDrain() {
    shut = true;
    for (int spins = 0; inFlight() != 0; spins++) {
      if (spins < 100) {
        Thread.onSpinWait();
      } else {
        LockSupport.parkNanos(50_000);
      }
    }
  }

  private long inFlight() {
    long sum = 0;
    for (int i = 0; i < STRIPES; i++) {
      sum += inside.get(i * SPACING);
    }
    return sum;
  }
}
