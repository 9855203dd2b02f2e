// Loads the XML Schema with the JDK's schema processor and validates XML files
// against it. libxml2 does not check every constraint a schema itself must
// meet (one type per element name in a content model, among others); this
// processor does, so the schema stays usable by binding generators.
//
// Usage: java SchemaCheck.java SCHEMA.xsd (FILE.xml | DIRECTORY)...
//   A directory stands for the .xml files directly inside it.
import java.io.File;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import javax.xml.XMLConstants;
import javax.xml.transform.stream.StreamSource;
import javax.xml.validation.Schema;
import javax.xml.validation.SchemaFactory;
import javax.xml.validation.Validator;
import org.xml.sax.SAXException;

public class SchemaCheck {
  public static void main(String[] args) throws Exception {
    if (args.length < 2) {
      System.err.println("usage: java SchemaCheck.java SCHEMA.xsd (FILE.xml | DIRECTORY)...");
      System.exit(2);
    }
    SchemaFactory factory = SchemaFactory.newInstance(XMLConstants.W3C_XML_SCHEMA_NS_URI);
    Schema schema;
    try {
      schema = factory.newSchema(new File(args[0]));
    } catch (SAXException e) {
      System.err.println(args[0] + ": the schema is not valid: " + e.getMessage());
      System.exit(1);
      return;
    }
    List<File> files = new ArrayList<>();
    for (int i = 1; i < args.length; i++) {
      File f = new File(args[i]);
      if (f.isDirectory()) {
        File[] inside = f.listFiles((dir, name) -> name.endsWith(".xml"));
        if (inside != null) {
          Arrays.sort(inside);
          files.addAll(Arrays.asList(inside));
        }
      } else {
        files.add(f);
      }
    }
    if (files.isEmpty()) {
      System.err.println("no XML files to validate");
      System.exit(1);
    }
    int failed = 0;
    Validator validator = schema.newValidator();
    for (File f : files) {
      try {
        validator.validate(new StreamSource(f));
      } catch (SAXException e) {
        failed++;
        System.err.println(f + ": " + e.getMessage());
      }
    }
    System.out.println(args[0] + ": schema valid; " + (files.size() - failed) + " of " + files.size()
        + " documents valid");
    System.exit(failed == 0 ? 0 : 1);
  }
}
