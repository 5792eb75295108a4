// English for the explanation codes of a check: the stable names of reasons,
// steps and pieces, and phrases made from them. Nothing here reads the
// engine's own English; a site that wants another language words the same
// codes itself.

/** Reason names by code (index 0 unused). */
export const REASON_NAMES = Object.freeze(['', 'few_distinct', 'repeats', 'sequences',
  'dictionary', 'breach', 'context', 'pattern', 'unreadable', 'personal', 'level_capped',
  'few_guesses']);
/** Step names by code (index 0 unused). */
export const STEP_NAMES = Object.freeze(['', 'lowercased', 'capitalised', 'uppercased',
  'reversed', 'rule', 'cut_first', 'cut_last', 'punctuation_removed', 'symbols_removed',
  'non_alnum_removed', 'read_as', 'dropped', 'suffix', 'prefix', 'doubled', 'inside',
  'cut_start', 'cut_end', 'pattern']);
/** Piece names by code (index 0 unused). */
export const PIECE_NAMES = Object.freeze(['', 'digits', 'year', 'date', 'symbols',
  'keyboard_walk', 'sequence', 'run']);
/** Match kinds by code. */
export const MATCH_KINDS = Object.freeze(['none', 'dictionary', 'personal', 'context',
  'unreadable', 'pattern', 'breach']);

/** The name of a code, or its number as text when this version has none. */
export function nameOf(names, code) {
  return code > 0 && code < names.length ? names[code] : String(code);
}

const quoted = (text) => `'${text}'`;

/** A cut or pattern piece in words: "year 2024", "keyboard walk 'qwerty'". */
export function pieceText(step) {
  switch (step.piece) {
    case 'digits': return `digits ${step.arg}`;
    case 'year': return `year ${step.arg}`;
    case 'date': return `date ${step.arg}`;
    case 'keyboard_walk': return `keyboard walk ${quoted(step.arg)}`;
    case 'sequence': return `sequence ${quoted(step.arg)}`;
    case 'run': return `run ${quoted(step.arg)}`;
    case 'symbols':
      return step.code === 'pattern' ? `symbols ${quoted(step.arg)}` : quoted(step.arg);
    default: return quoted(step.arg);
  }
}

const characters = (which, n) => `${which} ${n} character${n === 1 ? '' : 's'} removed`;

function stepPhrase(step) {
  const arg = step.arg ?? '';
  switch (step.code) {
    case 'lowercased': return 'lower-cased';
    case 'capitalised': return 'capitalised';
    case 'uppercased': return 'upper-cased';
    case 'reversed': return 'reversed';
    case 'rule': return '';
    case 'cut_first': return characters('first', step.count);
    case 'cut_last': return characters('last', step.count);
    case 'punctuation_removed': return 'punctuation removed';
    case 'symbols_removed': return 'symbols removed';
    case 'non_alnum_removed': return 'non-alphanumeric characters removed';
    case 'read_as': return `${quoted(arg.slice(0, 1))} read as ${quoted(arg.slice(1, 2))}`;
    case 'dropped': return `${quoted(arg.slice(0, 1))} dropped`;
    case 'suffix': return `suffix ${arg}`;
    case 'prefix': return `prefix ${arg}`;
    case 'doubled': return 'written twice';
    case 'inside': return `inside the password (${step.count} before, ${step.count2} after)`;
    case 'pattern': return pieceText(step);
    default: return `step ${step.code}`;
  }
}

/**
 * How the password became the matched word, in words: the phrases of the
 * steps joined by ", ", a run of cuts from one end as one phrase
 * ("year 2024 and '!' cut from the end"), and "as given" for no step.
 */
export function stepsText(steps) {
  const phrases = [];
  for (let i = 0; i < steps.length; ++i) {
    const step = steps[i];
    if (step.code !== 'cut_start' && step.code !== 'cut_end') {
      const phrase = stepPhrase(step);
      if (phrase) phrases.push(phrase);
      continue;
    }
    let cut = pieceText(step);
    while (i + 1 < steps.length && steps[i + 1].code === step.code) cut += ` and ${pieceText(steps[++i])}`;
    phrases.push(`${cut} cut from the ${step.code === 'cut_end' ? 'end' : 'start'}`);
  }
  return phrases.length ? phrases.join(', ') : 'as given';
}

/** The explanation of a match for a person, without the password itself. */
export function describeMatch(match) {
  if (!match) return '';
  switch (match.kind) {
    case 'pattern':
      return `a pattern: ${match.steps.filter((s) => s.code === 'pattern').map(pieceText).join(', ')}`;
    case 'unreadable':
      return 'a dictionary could not be read, which counts as found';
    case 'context':
      return `close to the context word ${quoted(match.word)} (${stepsText(match.steps)})`;
    case 'personal':
      return `the personal dictionary word ${quoted(match.word)} (${stepsText(match.steps)})`;
    case 'breach':
      return `in a leaked-password list (${stepsText(match.steps)})`;
    default:
      return `the dictionary word ${quoted(match.word)} (${stepsText(match.steps)})`;
  }
}

/** Why a point was lost (or the level capped), in words. */
export function reasonText(reason, match) {
  const { value, limit } = reason;
  switch (reason.code) {
    case 'few_distinct': return `only ${value} distinct characters (fewer than ${limit})`;
    case 'repeats': return `${value} repeated two-character pieces (more than ${limit})`;
    case 'sequences': return `${value} neighbours in sequence (more than ${limit})`;
    case 'dictionary':
    case 'breach':
    case 'context':
    case 'pattern':
    case 'personal':
      return match ? describeMatch(match) : `found (${reason.code})`;
    case 'unreadable': return 'a dictionary could not be read, which counts as found';
    case 'level_capped':
      return `a found password is rated at most level ${limit} (the score gave level ${value})`;
    case 'few_guesses':
      return `estimated below the least number of guesses, so rated at most level ${limit} ` +
        `(the score gave level ${value})`;
    default:
      return `stage ${reason.stage} lost ${reason.points} point${reason.points === 1 ? '' : 's'}`;
  }
}
