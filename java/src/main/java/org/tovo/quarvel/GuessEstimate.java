package org.tovo.quarvel;

import java.util.Arrays;
import java.util.List;
import java.util.Objects;

/** The guess estimate of a result, as {@link Strength} holds it. */
final class GuessEstimate {
  /** A result without an estimate (not scored, or from a record without one). */
  static final GuessEstimate NONE =
      new GuessEstimate(Double.NaN, new double[0], List.of(), null, List.of());

  final double guessesLog10;
  final double[] crackSeconds; // by Attack.number(); empty without an estimate
  final List<GuessPiece> pieces;
  final Advice warning;
  final List<Advice> suggestions;

  GuessEstimate(
      double guessesLog10,
      double[] crackSeconds,
      List<GuessPiece> pieces,
      Advice warning,
      List<Advice> suggestions) {
    this.guessesLog10 = guessesLog10;
    this.crackSeconds = crackSeconds;
    this.pieces = List.copyOf(pieces);
    this.warning = warning;
    this.suggestions = List.copyOf(suggestions);
  }

  @Override
  public boolean equals(Object other) {
    if (!(other instanceof GuessEstimate)) {
      return false;
    }
    GuessEstimate that = (GuessEstimate) other;
    return Double.compare(guessesLog10, that.guessesLog10) == 0
        && Arrays.equals(crackSeconds, that.crackSeconds)
        && pieces.equals(that.pieces)
        && Objects.equals(warning, that.warning)
        && suggestions.equals(that.suggestions);
  }

  @Override
  public int hashCode() {
    return Objects.hash(guessesLog10, pieces, warning, suggestions);
  }
}
