import java.nio.file.Paths;
import org.tovo.quarvel.Quarvel;

/**
 * Run in the test system with the packaged jar only on the class path: it must find the packaged
 * library through the JVM's own library path and grade on the service root.
 */
public class JavaCheck {
  public static void main(String[] args) {
    try (Quarvel quarvel = Quarvel.open(Paths.get("/etc/quarvel"))) {
      int strong = quarvel.check("vK8#qTz!m2Rw$Lp9").level();
      int weak = quarvel.check("sunshine1").level();
      System.out.println("Java: strong " + strong + ", weak " + weak);
      if (strong != 4 || weak > 2) {
        System.exit(1);
      }
    }
  }
}
