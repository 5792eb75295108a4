package org.tovo.quarvel;

/**
 * The attacks whose time the guess estimate gives ({@link Strength#crackSeconds(Attack)}), with
 * the rate each one guesses at and the stable name the JSON output and the Python binding use.
 */
public enum Attack {
  /** An online service that limits attempts: 100 guesses an hour. */
  ONLINE_THROTTLED(0, "online_throttled", 100.0 / 3600),
  /** An online service that does not: 10 guesses a second. */
  ONLINE(1, "online", 10),
  /** Stolen hashes of a slow hash function: 10^4 guesses a second. */
  OFFLINE_SLOW_HASH(2, "offline_slow_hash", 1e4),
  /** Stolen hashes of a fast hash function: 10^10 guesses a second. */
  OFFLINE_FAST_HASH(3, "offline_fast_hash", 1e10);

  private final int number;
  private final String stableName;
  private final double guessesPerSecond;

  Attack(int number, String stableName, double guessesPerSecond) {
    this.number = number;
    this.stableName = stableName;
    this.guessesPerSecond = guessesPerSecond;
  }

  /** The attack's number, QUARVEL_ATTACK_* in engine.h. */
  public int number() {
    return number;
  }

  /** The stable name, such as {@code "offline_fast_hash"}. */
  public String stableName() {
    return stableName;
  }

  /** How many guesses a second the attack makes. */
  public double guessesPerSecond() {
    return guessesPerSecond;
  }
}
