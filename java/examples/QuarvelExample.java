import java.nio.file.Paths;
import java.util.Arrays;
import org.tovo.quarvel.Match;
import org.tovo.quarvel.Quarvel;
import org.tovo.quarvel.QuarvelException;
import org.tovo.quarvel.Strength;

public class QuarvelExample {
  public static void main(String[] args) {
    // The root holds conf/quarvel.ini and dicts/, as build/run does.
    String root = args.length > 0 ? args[0] : ".";
    char[] password = (args.length > 1 ? args[1] : "Dragon05").toCharArray();
    // One environment serves every thread of the program; close it once at the end.
    try (Quarvel quarvel = Quarvel.open(Paths.get(root))) {
      Strength strength = quarvel.check(password);
      if (!strength.isScored()) {
        System.out.println("not scored: " + strength.answer());
        return;
      }
      System.out.println("level " + strength.level() + " of 4: " + strength.answer());
      Match match = strength.match();
      if (match != null) {
        System.out.println("found as '" + match.word() + "' in " + match.prefix()
            + " (" + match.variant() + ")");
      }
    } catch (QuarvelException e) {
      System.err.println("cannot open " + root + ": " + e.getMessage());
      System.exit(1);
    } finally {
      Arrays.fill(password, '\0');
    }
  }
}
